// Tests for the console text layer: the Shift_JIS conversion of the catalogue,
// checked against the system's CP932 converter, and the writers' handling of
// the console's encoding and of arguments.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/messages.h"
#include "support/report_text.h"
#include "support/run_program.h"

namespace {

std::string catalogueText(size_t index)
{
    return textFormat(static_cast<Text>(index));
}

// Converts with the program's converter; false when it refuses.
bool convert(const std::string& utf8, std::string& result, size_t outSize = 512)
{
    std::vector<char> buffer(outSize + 1, '\x7F');
    if (toShiftJis(utf8.c_str(), buffer.data(), outSize) != 0) {
        return false;
    }
    result = buffer.data();
    return true;
}

size_t utf8Length(unsigned char lead)
{
    if (lead >= 0xF0) {
        return 4;
    }
    if (lead >= 0xE0) {
        return 3;
    }
    return lead >= 0xC0 ? 2 : 1;
}

uint32_t codePointOf(const std::string& c)
{
    const auto* b = reinterpret_cast<const unsigned char*>(c.data());
    switch (c.size()) {
    case 2:
        return (b[0] & 0x1Fu) << 6 | (b[1] & 0x3Fu);
    case 3:
        return (b[0] & 0x0Fu) << 12 | (b[1] & 0x3Fu) << 6 | (b[2] & 0x3Fu);
    default:
        return (b[0] & 0x07u) << 18 | (b[1] & 0x3Fu) << 12 | (b[2] & 0x3Fu) << 6 | (b[3] & 0x3Fu);
    }
}

std::string utf8Of(uint32_t cp)
{
    std::string s;
    if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
    } else {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    }
    s += static_cast<char>(0x80 | (cp & 0x3F));
    return s;
}

// Every distinct non-ASCII character of the catalogue, as UTF-8.
std::set<std::string> catalogueCharacters()
{
    std::set<std::string> characters;
    for (size_t i = 0; i < kTextCount; ++i) {
        const std::string text = catalogueText(i);
        for (size_t pos = 0; pos < text.size();) {
            const size_t n = utf8Length(static_cast<unsigned char>(text[pos]));
            if (n > 1) {
                characters.insert(text.substr(pos, n));
            }
            pos += n;
        }
    }
    return characters;
}

TEST(ShiftJisConversion, EveryCatalogueTextMatchesIconv)
{
    for (size_t i = 0; i < kTextCount; ++i) {
        const std::string text = catalogueText(i);
        std::string converted;
        ASSERT_TRUE(convert(text, converted)) << "text #" << i << ": " << text;
        EXPECT_EQ(converted, sjis(text)) << "text #" << i << ": " << text;
    }
}

TEST(ShiftJisConversion, EveryCatalogueCharacterMatchesIconv)
{
    const std::set<std::string> characters = catalogueCharacters();
    // The catalogue is Japanese; a handful of characters would mean it lost its texts.
    ASSERT_GT(characters.size(), 50u);
    ASSERT_EQ(characters.count("×"), 1u);
    ASSERT_EQ(characters.count("．"), 1u);
    for (const std::string& c : characters) {
        std::string alone;
        ASSERT_TRUE(convert(c, alone)) << c;
        EXPECT_EQ(alone, sjis(c)) << c;
        // Between ASCII, so that a wrong sequence length would shift its neighbours.
        std::string framed;
        ASSERT_TRUE(convert("<" + c + c + ">", framed)) << c;
        EXPECT_EQ(framed, sjis("<" + c + c + ">")) << c;
    }
}

// The code points next to each catalogue character are not in the catalogue (most
// of the time): a lookup that answers with a near entry would convert them.
TEST(ShiftJisConversion, NeighboursOfCatalogueCharactersAreRefused)
{
    const std::set<std::string> characters = catalogueCharacters();
    std::set<uint32_t> codePoints;
    for (const std::string& c : characters) {
        codePoints.insert(codePointOf(c));
    }
    size_t checked = 0;
    for (uint32_t cp : codePoints) {
        for (uint32_t neighbour : {cp - 1, cp + 1}) {
            if (codePoints.count(neighbour) != 0 || neighbour < 0x80 || neighbour > 0xFFFF ||
                (neighbour >= 0xD800 && neighbour <= 0xDFFF)) {
                continue;
            }
            std::string converted;
            EXPECT_FALSE(convert(utf8Of(neighbour), converted))
                << "U+" << std::hex << neighbour << " converted";
            ++checked;
        }
    }
    EXPECT_GT(checked, 20u);
}

TEST(ShiftJisConversion, CharactersOutsideTheCatalogueAreRefused)
{
    const std::set<std::string> characters = catalogueCharacters();
    const std::vector<std::string> outside = {"漢", "€", "é", "ア", "😀", "ok 漢", "漢 ok"};
    for (const std::string& text : outside) {
        for (const std::string& c : characters) {
            ASSERT_EQ(text.find(c), std::string::npos) << "fixture uses a catalogue character";
        }
        char buffer[64];
        EXPECT_EQ(toShiftJis(text.c_str(), buffer, sizeof buffer), -1) << text;
    }
}

TEST(ShiftJisConversion, MalformedUtf8IsRefused)
{
    const struct {
        const char* name;
        const char* bytes;
    } cases[] = {
        {"lead byte at the end", "ab\xE3"},
        {"sequence cut at the end", "ab\xE3\x81"},
        {"sequence cut by ASCII", "\xE3\x81z"},
        {"lone continuation byte", "a\x80z"},
        {"byte never used in UTF-8", "a\xFFz"},
        {"over-long form of '/'", "\xC0\xAF"},
        {"over-long form of \xE3\x81\x82", "\xF0\x83\x81\x82"},
    };
    for (const auto& c : cases) {
        char buffer[64];
        EXPECT_EQ(toShiftJis(c.bytes, buffer, sizeof buffer), -1) << c.name;
    }
}

// For every catalogue text, each buffer size below the converted length plus the
// terminator is refused, and no size makes the converter write past the buffer.
TEST(ShiftJisConversion, BufferSizeIsRespected)
{
    constexpr char kCanary = '\x5A';
    std::vector<std::string> texts = {"", "a", "あ", "aあ"};
    for (size_t i = 0; i < kTextCount; ++i) {
        texts.push_back(catalogueText(i));
    }
    for (const std::string& text : texts) {
        const std::string expected = sjis(text);
        const size_t needed = expected.size() + 1;
        for (size_t size = 0; size <= needed; ++size) {
            // An exact-size heap block, for the address sanitizer ...
            std::unique_ptr<char[]> exact(new char[size]);
            const int exactResult = toShiftJis(text.c_str(), exact.get(), size);
            // ... and a block with a guard zone, for every build.
            std::vector<char> guarded(size + 16, kCanary);
            const int result = toShiftJis(text.c_str(), guarded.data(), size);
            EXPECT_EQ(result, exactResult);
            for (size_t k = size; k < guarded.size(); ++k) {
                ASSERT_EQ(guarded[k], kCanary)
                    << "wrote byte " << k << " of a " << size << "-byte buffer for: " << text;
            }
            if (size < needed) {
                EXPECT_EQ(result, -1) << size << " bytes for: " << text;
            } else {
                ASSERT_EQ(result, 0) << text;
                EXPECT_EQ(std::string(guarded.data()), expected);
            }
        }
    }
}

// The writers, in this process. The test program never calls setlocale, so it
// runs in the "C" locale: a console that is not UTF-8, hence Shift_JIS.
class ConsoleWriting : public ::testing::Test {
   protected:
    void TearDown() override { std::setlocale(LC_CTYPE, "C"); }
};

TEST_F(ConsoleWriting, FixedTextIsShiftJisAndArgumentsAreWrittenAsGiven)
{
    // '%' sequences, UTF-8 and Shift_JIS bytes in an argument all pass unchanged.
    const std::string path = "dir/%s%d%n\xE3\x81\x82\x82\xA0.wav";
    testing::internal::CaptureStdout();
    consoleOut(Text::FileName, path.c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, Transcript().fileName(path).out());

    testing::internal::CaptureStderr();
    consoleErr(Text::ReadOpenFailed, path.c_str());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, Transcript().cannotOpen(path).err());
}

TEST_F(ConsoleWriting, ChunkIdentifierBytesAreWrittenRaw)
{
    const unsigned char id[4] = {0x00, 0xFF, 0x82, 0xA0};
    testing::internal::CaptureStdout();
    consoleOut(Text::ChunkLength, id[0], id[1], id[2], id[3], -8L);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, Transcript().chunkLength(std::string("\0\xFF\x82\xA0", 4), -8).out());
}

TEST_F(ConsoleWriting, Utf8ConsoleGetsTheCatalogueUnchanged)
{
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
        GTEST_SKIP() << "no C.UTF-8 locale";
    }
    const std::string path = "dir/%s\x82\xA0.wav";
    testing::internal::CaptureStderr();
    consoleErr(Text::Usage);
    consoleErr(Text::ReadOpenFailed, path.c_str());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, Transcript(ConsoleEncoding::Utf8).usage().cannotOpen(path).err());
    EXPECT_EQ(err.substr(0, std::strlen(kUsageUtf8)), kUsageUtf8);
}

}  // namespace
