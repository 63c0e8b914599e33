// Conversions with iconv, so tests can state expected texts in readable UTF-8.
#include "support/test_text.h"

#include <iconv.h>

#include <stdexcept>
#include <vector>

#include "platform/platform.h"

static std::string Convert(const std::string& in, const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open");
    std::vector<char> out(in.size() * 4 + 16);
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1)) throw std::runtime_error("iconv");
    return std::string(out.data(), out.size() - outLeft);
}

std::string Text(unsigned id) {
    char buffer[2048];
    const int n = LoadTextResource(id, buffer, sizeof buffer);
    return std::string(buffer, static_cast<std::size_t>(n));
}

std::string Cp932(const std::string& utf8) { return Convert(utf8, "CP932", "UTF-8"); }
std::string Utf8(const std::string& cp932) { return Convert(cp932, "UTF-8", "CP932"); }
