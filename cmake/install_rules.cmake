# An installed tree works under any prefix and can be copied elsewhere: bin/ostrivel finds
# its plug-in in ../lib/quelvarn, and the binaries find libhostapi there through $ORIGIN.
set_target_properties(ostrivel PROPERTIES INSTALL_RPATH "$ORIGIN/../${QUELVARN_INSTALL_PLUGIN_DIR}")
set_target_properties(quelvarn_v005_2023 hostapi PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS ostrivel RUNTIME DESTINATION bin)
install(TARGETS quelvarn_v005_2023 hostapi LIBRARY DESTINATION ${QUELVARN_INSTALL_PLUGIN_DIR})
