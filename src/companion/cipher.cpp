#include "companion/cipher.h"

#include <cstdint>

namespace kelo {

namespace {

constexpr std::string_view kMagic = "KWSE1:";

// A keystream from a 32-bit LCG keyed by position, chained through the previous plain byte so a
// repeated byte does not give a repeated cipher byte. Obscures scripts; it is not cryptography.
struct Stream {
    uint32_t state = 0x4B454C4Fu;  // "KELO"
    uint8_t Next(uint8_t previousPlain) {
        state = state * 1103515245u + 12345u + previousPlain;
        return static_cast<uint8_t>(state >> 16);
    }
};

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string KeloEncryptString2(std::string_view text, int mode) {
    if (mode == 0) {
        std::string plain;
        return KeloDecryptChecked(text, plain) ? plain : std::string();
    }
    static const char* kHex = "0123456789ABCDEF";
    std::string out(kMagic);
    out.reserve(kMagic.size() + text.size() * 2 + text.size() / 32 + 2);
    Stream s;
    uint8_t prev = 0;
    size_t n = 0;
    for (char ch : text) {
        uint8_t c = static_cast<uint8_t>(ch) ^ s.Next(prev);
        prev = static_cast<uint8_t>(ch);
        out += kHex[c >> 4];
        out += kHex[c & 15];
        // Line breaks keep enciphered files friendly to text tools.
        if (++n % 32 == 0) out += '\n';
    }
    out += '\n';
    return out;
}

bool KeloDecryptChecked(std::string_view cipherText, std::string& plain) {
    plain.clear();
    if (cipherText.substr(0, kMagic.size()) != kMagic) return false;
    Stream s;
    uint8_t prev = 0;
    int high = -1;
    for (size_t i = kMagic.size(); i < cipherText.size(); ++i) {
        char c = cipherText[i];
        if (c == '\n' || c == '\r' || c == ' ' || c == '\t') continue;
        int v = HexValue(c);
        if (v < 0) return false;
        if (high < 0) {
            high = v;
            continue;
        }
        uint8_t p = static_cast<uint8_t>((high << 4 | v) ^ s.Next(prev));
        plain += static_cast<char>(p);
        prev = p;
        high = -1;
    }
    return high < 0;
}

}  // namespace kelo
