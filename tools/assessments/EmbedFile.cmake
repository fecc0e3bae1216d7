# cmake -DINPUT=file -DOUTPUT=file.cpp -DFUNCTION=name -P EmbedFile.cmake
# Writes a source file whose function returns the input file's bytes.
file(READ ${INPUT} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
file(WRITE ${OUTPUT}.tmp
  "#include \"Resources.h\"\n"
  "namespace vedris::assessments {\n"
  "std::string ${FUNCTION}() {\n"
  "    static const char bytes[] = {${bytes} 0};\n"
  "    return std::string(bytes, sizeof bytes - 1);\n"
  "}\n"
  "} // namespace vedris::assessments\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
