#pragma once

// Text from outside that goes into a header line: a file name or a media type in an upload's
// part header, which the engine also checks when an attachment arrives. A control character
// there would end the header early or start one of its own, and a quote would end a quoted
// name="..." or filename="...". One check serves the engine and the multipart builder, so
// what the engine accepts the builder sends, and the builder refuses the rest itself.

#include <string>

// A C0 control character (line breaks among them), DEL, or a C1 control character
// (U+0080..U+009F, as UTF-8).
bool HasControlCharacter(const std::string& text);

// Text that may stand between the quotes of a part header: no control character, no '"'.
bool IsQuotableHeaderText(const std::string& text);
