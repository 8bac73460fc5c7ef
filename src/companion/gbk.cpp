#include "companion/gbk.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstring>

namespace kelo {

namespace {

// Converts with iconv; bytes that cannot be converted are replaced by '?' so a bad byte never
// loses the rest of a message.
std::string Convert(std::string_view in, const char* to, const char* from) {
    if (in.empty()) return {};
    if (std::strcmp(to, from) == 0) return std::string(in);
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
    std::string out;
    out.resize(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    while (srcLeft > 0) {
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            size_t used = static_cast<size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = out.size() - used;
            continue;
        }
        // EILSEQ or EINVAL: skip one input byte and mark it.
        if (dstLeft == 0) {
            size_t used = static_cast<size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = out.size() - used;
        }
        *dst++ = '?';
        --dstLeft;
        ++src;
        --srcLeft;
    }
    out.resize(static_cast<size_t>(dst - out.data()));
    iconv_close(cd);
    return out;
}

}  // namespace

std::string ToGbk(std::string_view utf8) { return Convert(utf8, "GBK", "UTF-8"); }
std::string GbkToUtf8(std::string_view gbk) { return Convert(gbk, "UTF-8", "GBK"); }

std::string GbkToTerminal(std::string_view gbk) {
    const char* cs = nl_langinfo(CODESET);
    // The C locale reports ANSI_X3.4-1968; a modern terminal is far more likely UTF-8 than ASCII.
    if (cs == nullptr || *cs == '\0' || std::strcmp(cs, "ANSI_X3.4-1968") == 0) cs = "UTF-8";
    if (strcasecmp(cs, "GBK") == 0 || strcasecmp(cs, "GB18030") == 0) return std::string(gbk);
    return Convert(gbk, cs, "GBK");
}

}  // namespace kelo
