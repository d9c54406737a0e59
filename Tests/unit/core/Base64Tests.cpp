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
        {"QQ==", "A"},
        {"+/8A", std::string("\xfb\xff\x00", 3)},
        {"QUJD*QUJD", "ABCABC"},
        {"", ""},
        {"QQ", ""},        // not a multiple of four
        {"Q===", ""},      // padding longer than two
        {"QQ==QUJD", ""},  // data after padding
    };
    for (const auto& c : cases) {
        std::string out = "stale";
        EXPECT_EQ(DecodeBase64(c.text, out), !c.bytes.empty()) << c.text;
        EXPECT_EQ(out, c.bytes) << c.text;
    }
}
