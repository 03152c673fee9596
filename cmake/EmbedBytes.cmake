# embed_bytes(FILE BYTES_VAR SIZE_VAR): BYTES_VAR gets the file's bytes as the body of a C
# array initializer ("0x3c,0x21,..."), SIZE_VAR their count. For scripts that compile files in.
function(embed_bytes file bytes_var size_var)
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" length)
  math(EXPR size "${length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  set(${bytes_var} "${bytes}" PARENT_SCOPE)
  set(${size_var} ${size} PARENT_SCOPE)
endfunction()
