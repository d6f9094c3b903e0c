# Writes a header holding the slide kernel's source as one string, with the shared
# C-subset header pasted where the kernel includes it: nothing reads a source path at
# run time. Inputs: KERNEL (the .cl file), SHARED (the header), OUT.
file(READ ${KERNEL} kernel)
file(READ ${SHARED} shared)
get_filename_component(shared_name ${SHARED} NAME)
string(REPLACE "#include \"${shared_name}\"" "${shared}" kernel "${kernel}")
file(WRITE ${OUT}.tmp "// Generated at build time from slide.cl and ${shared_name}; edit those instead.\n"
  "#pragma once\nstatic const char kSlideKernelSource[] = R\"slidecl(${kernel})slidecl\";\n")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
