// Attachment text to bytes: the standard alphabet, unknown characters skipped, padding only at the end.

#include <gtest/gtest.h>

#include "core/Base64.hpp"

TEST(Base64, DecodesPaddedTextSkippingEverythingOutsideTheAlphabet)
{
    const struct {
        const char* text;
        std::string bytes;  // empty: refused
    } cases[] = {
        {"UE5HMQ==", "PNG1"},
        {"UE\r\n5HMQ==", "PNG1"},  // a break inside a group
        {"QUI=", "AB"},
        {"QQ==", "A"},
        {"+/8A", std::string("\xfb\xff\x00", 3)},
        {"QUJD*QUJD", "ABCABC"},
        {"", ""},
        {"QQ", ""},  // not a multiple of four
        {"Q===", ""},  // padding longer than two
        {"=QUJ", ""},
        {"QQ==QUJD", ""},  // data after padding
    };
    for (const auto& c : cases) {
        std::string out = "stale";
        EXPECT_EQ(DecodeBase64(c.text, out), !c.bytes.empty()) << c.text;
        EXPECT_EQ(out, c.bytes) << c.text;
    }
}

TEST(Base64, EveryByteValueSurvivesAtEveryLengthModuloThree)
{
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    for (size_t length : {bytes.size(), bytes.size() - 1, bytes.size() - 2}) {
        const std::string original = bytes.substr(0, length);
        std::string text;
        for (size_t i = 0; i < original.size(); i += 3) {
            const unsigned char a = original[i];
            const unsigned char b = i + 1 < original.size() ? original[i + 1] : 0;
            const unsigned char c = i + 2 < original.size() ? original[i + 2] : 0;
            text += alphabet[a >> 2];
            text += alphabet[((a & 3) << 4) | (b >> 4)];
            text += i + 1 < original.size() ? alphabet[((b & 15) << 2) | (c >> 6)] : '=';
            text += i + 2 < original.size() ? alphabet[c & 63] : '=';
            if (i % 57 == 54) text += "\r\n";
        }
        std::string out;
        ASSERT_TRUE(DecodeBase64(text, out)) << length;
        EXPECT_EQ(out, original) << length;
    }
}
