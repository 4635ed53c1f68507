# cmake -DOUT=HEADER -P EmbedWeb.cmake FILE...: writes the console's page
# files into one header, as byte arrays, so that dspctl serves them itself.
set(body "")
set(table "")
set(index 0)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE 4 ${last})
    set(file "${CMAKE_ARGV${i}}")
    get_filename_component(name "${file}" NAME)
    get_filename_component(ext "${file}" EXT)
    set(type "text/plain")
    if(ext STREQUAL ".html")
        set(type "text/html; charset=utf-8")
    elseif(ext STREQUAL ".css")
        set(type "text/css; charset=utf-8")
    elseif(ext STREQUAL ".js")
        set(type "text/javascript; charset=utf-8")
    endif()
    file(READ "${file}" bytes HEX)
    string(LENGTH "${bytes}" digits)
    math(EXPR size "${digits} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
    string(APPEND body "const unsigned char kAsset${index}[] = {${bytes}0};\n")
    string(APPEND table "        {\"${name}\", \"${type}\", "
                        "reinterpret_cast<const char*>(kAsset${index}), ${size}},\n")
    math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUT}.tmp" "// Generated from tools/dspctl/web by EmbedWeb.cmake: do not edit.
#ifndef TOOLS_DSPCTL_WEB_ASSETS_H
#define TOOLS_DSPCTL_WEB_ASSETS_H
#include <cstddef>
#include <vector>
struct WebAsset {
    const char* name;
    const char* type;
    const char* data;
    size_t size;
};
namespace {
${body}}  // namespace
inline const std::vector<WebAsset>& webAssets() {
    static const std::vector<WebAsset> kAssets = {
${table}    };
    return kAssets;
}
#endif
")
configure_file("${OUT}.tmp" "${OUT}" COPYONLY)
file(REMOVE "${OUT}.tmp")
