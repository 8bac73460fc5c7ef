#include "companion/cipher.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace kelo {

namespace {

// Cipher text: "KWSE2:<plain length>:<crc32 hex>\n" then the body. The header lets the reader
// refuse a truncated or edited file instead of running part of a script.
constexpr std::string_view kMagic = "KWSE2:";
constexpr int kRing = 94;        // printable ASCII 0x20..0x7D; '~' is kept for escapes
constexpr char kEscape = '~';

// A keystream from a 32-bit LCG chained through the previous plain byte, so a repeated byte does
// not give a repeated cipher byte. It obscures scripts; it is not cryptography.
struct Stream {
    uint32_t state = 0x4B454C4Fu;  // "KELO"
    uint8_t Next(uint8_t previousPlain) {
        state = state * 1103515245u + 12345u + previousPlain;
        return static_cast<uint8_t>(state >> 16);
    }
};

uint32_t Crc32(std::string_view data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (char ch : data) {
        crc ^= static_cast<uint8_t>(ch);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool InRing(uint8_t b) { return b >= 0x20 && b < 0x20 + kRing; }

}  // namespace

std::string KeloEncryptString2(std::string_view text, int mode) {
    if (mode == 0) {
        std::string plain;
        return KeloDecryptChecked(text, plain) ? plain : std::string();
    }
    static const char* kHex = "0123456789ABCDEF";
    char header[64];
    std::snprintf(header, sizeof header, "%.*s%zu:%08X\n", static_cast<int>(kMagic.size()), kMagic.data(),
                  text.size(), static_cast<unsigned>(Crc32(text)));
    std::string out = header;
    out.reserve(out.size() + text.size() + text.size() / 8);
    // Printable bytes stay one byte (rotated in the printable ring) and line breaks stay line
    // breaks, so an enciphered script is about as long as its source; other bytes are escaped.
    Stream s;
    uint8_t prev = 0;
    for (char ch : text) {
        uint8_t b = static_cast<uint8_t>(ch);
        uint8_t k = s.Next(prev);
        prev = b;
        if (b == '\n') {
            out += '\n';
        } else if (InRing(b)) {
            out += static_cast<char>(0x20 + (b - 0x20 + k) % kRing);
        } else {
            uint8_t c = b ^ k;
            out += kEscape;
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    out += '\n';
    return out;
}

namespace {
bool Decipher(std::string_view cipherText, std::string& plain) {
    if (cipherText.substr(0, kMagic.size()) != kMagic) return false;
    size_t nl = cipherText.find('\n');
    if (nl == std::string_view::npos) return false;
    std::string header(cipherText.substr(kMagic.size(), nl - kMagic.size()));
    if (!header.empty() && header.back() == '\r') header.pop_back();
    size_t colon = header.find(':');
    if (colon == std::string::npos || colon == 0 || header.size() - colon - 1 != 8) return false;
    char* end = nullptr;
    unsigned long long length = std::strtoull(header.c_str(), &end, 10);
    if (end != header.c_str() + colon) return false;
    uint32_t crc = 0;
    for (size_t i = colon + 1; i < header.size(); ++i) {
        int v = HexValue(header[i]);
        if (v < 0) return false;
        crc = crc << 4 | static_cast<uint32_t>(v);
    }
    // The body is never shorter than the plain text, so a larger length is a lie.
    if (length > cipherText.size()) return false;
    plain.reserve(static_cast<size_t>(length));

    Stream s;
    uint8_t prev = 0;
    std::string_view body = cipherText.substr(nl + 1);
    for (size_t i = 0; i < body.size() && plain.size() < length; ++i) {
        char c = body[i];
        if (c == '\r') continue;  // a text-mode copy may have added carriage returns
        uint8_t k = s.Next(prev);
        uint8_t b;
        if (c == '\n') {
            b = '\n';
        } else if (c == kEscape) {
            if (i + 2 >= body.size()) return false;
            int hi = HexValue(body[i + 1]), lo = HexValue(body[i + 2]);
            if (hi < 0 || lo < 0) return false;
            b = static_cast<uint8_t>((hi << 4 | lo) ^ k);
            i += 2;
        } else if (InRing(static_cast<uint8_t>(c))) {
            b = static_cast<uint8_t>(0x20 + (static_cast<uint8_t>(c) - 0x20 + kRing - k % kRing) % kRing);
        } else {
            return false;
        }
        plain += static_cast<char>(b);
        prev = b;
    }
    return plain.size() == length && Crc32(plain) == crc;
}
}  // namespace

bool KeloDecryptChecked(std::string_view cipherText, std::string& plain) {
    // Nothing of a refused text is handed out.
    std::string out;
    bool ok = Decipher(cipherText, out);
    plain = ok ? std::move(out) : std::string();
    return ok;
}

}  // namespace kelo
