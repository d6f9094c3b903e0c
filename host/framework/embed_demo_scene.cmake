# Writes a C++ source holding the demo scene's files as text, so `ostrivel demo` runs
# from the binary alone.
file(READ ${JSON} json_text)
file(READ ${OBJ} obj_text)
file(WRITE ${OUT} "// Generated from scenes/eyelid at build time; edit those files instead.\n"
  "#include \"demo_scene.h\"\n"
  "namespace ostrivel {\n"
  "const char kDemoSceneJson[] = R\"quelvarn(${json_text})quelvarn\";\n"
  "const char kDemoSceneObj[] = R\"quelvarn(${obj_text})quelvarn\";\n"
  "}  // namespace ostrivel\n")
