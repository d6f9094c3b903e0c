#pragma once
// Typed lookup of one attribute: find the key, down-cast to the expected class, and on
// failure show the one message that says which and why. An empty result ends the
// operation with status 1; the message has already been shown.

#include <memory>
#include <string>

#include "KxData.h"
#include "Messages.h"

template <class T>
std::shared_ptr<T> fetchAttribute(const AttributeMap& attributes, const std::string& key, const MObject& node) {
    const auto found = attributes.find(key);
    if (found == attributes.end()) {
        reportError(nodeName(node) + ": get attributes: cannot find '" + key + "' (" + KxClassName<T>::value +
                    ") attribute");
        return nullptr;
    }
    std::shared_ptr<T> typed = std::dynamic_pointer_cast<T>(found->second);
    if (!typed) {
        reportError(nodeName(node) + ": get attributes: invalid type of '" + key + "' (" + KxClassName<T>::value +
                    " expected)");
    }
    return typed;
}
