#include "core/Base64.hpp"

#include <array>
#include <cstddef>
#include <cstdint>

namespace {

constexpr std::uint8_t kSkip = 0xFF;
constexpr std::uint8_t kPad = 0xFE;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::uint8_t, 256> MakeTable()
{
    std::array<std::uint8_t, 256> table{};
    for (auto& entry : table) entry = kSkip;
    for (std::uint8_t i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
    table[static_cast<unsigned char>('=')] = kPad;
    return table;
}

constexpr std::array<std::uint8_t, 256> kTable = MakeTable();

}  // namespace

bool DecodeBase64(const std::string& text, std::string& out)
{
    // At most three bytes per four characters read; cut to size at the end.
    out.assign(text.size() / 4 * 3 + 3, '\0');
    char* const dst = &out[0];
    std::size_t n = 0;
    std::uint32_t group = 0;
    int filled = 0;  // sextets in the group
    int pads = 0;
    bool bad = false;
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size; ++i) {
        // Whole groups of four alphabet characters, the usual case, in one step.
        if (filled == 0 && pads == 0 && i + 4 <= size) {
            const std::uint32_t a = kTable[in[i]], b = kTable[in[i + 1]], c = kTable[in[i + 2]], d = kTable[in[i + 3]];
            if ((a | b | c | d) < 64) {
                const std::uint32_t whole = (a << 18) | (b << 12) | (c << 6) | d;
                dst[n++] = static_cast<char>((whole >> 16) & 0xFF);
                dst[n++] = static_cast<char>((whole >> 8) & 0xFF);
                dst[n++] = static_cast<char>(whole & 0xFF);
                i += 3;
                continue;
            }
        }
        const std::uint8_t v = kTable[in[i]];
        if (v == kSkip) continue;
        if (v == kPad) {
            // Padding only completes the last group, with at most two characters.
            if (filled < 2 || pads == 2) {
                bad = true;
                break;
            }
            ++pads;
            continue;
        }
        if (pads > 0) {  // data after padding
            bad = true;
            break;
        }
        group = (group << 6) | v;
        if (++filled == 4) {
            dst[n++] = static_cast<char>((group >> 16) & 0xFF);
            dst[n++] = static_cast<char>((group >> 8) & 0xFF);
            dst[n++] = static_cast<char>(group & 0xFF);
            group = 0;
            filled = 0;
        }
    }
    bool ok = !bad && (pads == 0 ? filled == 0 : filled + pads == 4);
    if (ok && filled == 2) {
        dst[n++] = static_cast<char>((group >> 4) & 0xFF);
    } else if (ok && filled == 3) {
        dst[n++] = static_cast<char>((group >> 10) & 0xFF);
        dst[n++] = static_cast<char>((group >> 2) & 0xFF);
    }
    out.resize(ok ? n : 0);
    if (out.empty()) {
        out.clear();
        return false;
    }
    return true;
}

std::string EncodeBase64(const std::string& bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (left > 1) group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (left > 2) group |= static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += left > 1 ? kAlphabet[(group >> 6) & 63] : '=';
        out += left > 2 ? kAlphabet[group & 63] : '=';
    }
    return out;
}
