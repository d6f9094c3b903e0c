#include "interrupt.h"

#include <csignal>

namespace ostrivel {

namespace {

volatile std::sig_atomic_t receivedSignal = 0;

void remember(int signal) { receivedSignal = signal; }

struct sigaction previousInterrupt, previousTerminate;

void install(int signal, struct sigaction* previous) {
    struct sigaction action {};
    action.sa_handler = remember;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;  // the second Ctrl-C stops the process at once
    sigaction(signal, &action, previous);
}

std::string shellQuoted(const std::string& word) {
    const bool plain = !word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                               "0123456789_-+=./,:@%") == std::string::npos;
    if (plain) return word;
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

}  // namespace

StopOnSignal::StopOnSignal() {
    receivedSignal = 0;
    install(SIGINT, &previousInterrupt);
    install(SIGTERM, &previousTerminate);
}

StopOnSignal::~StopOnSignal() {
    sigaction(SIGINT, &previousInterrupt, nullptr);
    sigaction(SIGTERM, &previousTerminate, nullptr);
}

int StopOnSignal::received() const { return receivedSignal; }

std::string StopOnSignal::name(int signal) {
    return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "signal " + std::to_string(signal);
}

std::string commandWithRange(const std::vector<std::string>& commandLine, int first, int last) {
    std::string command;
    for (size_t k = 0; k < commandLine.size(); ++k) {
        const std::string& word = commandLine[k];
        if (word == "--first" || word == "--last") {
            ++k;  // and its value
            continue;
        }
        if (startsWith(word, "--first=") || startsWith(word, "--last=")) continue;
        command += (command.empty() ? "" : " ") + shellQuoted(word);
    }
    return command + " --first " + std::to_string(first) + " --last " + std::to_string(last);
}

}  // namespace ostrivel
