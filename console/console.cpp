// Writes the catalogue's texts to standard output and standard error in the
// console's encoding: Shift_JIS (code page 932), or UTF-8 where the console uses it.
#include "console/console.h"

#include <langinfo.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

struct SjisCode {
    uint32_t codePoint;
    uint8_t lead;
    uint8_t trail;
};

// Every non-ASCII character the catalogue uses, sorted by code point, with its
// two Shift_JIS bytes. A test checks each entry against the system's converter.
constexpr SjisCode kSjisTable[] = {
    {0x00D7, 0x81, 0x7E},  // ×
    {0x3042, 0x82, 0xA0},  // あ
    {0x3044, 0x82, 0xA2},  // い
    {0x304C, 0x82, 0xAA},  // が
    {0x304D, 0x82, 0xAB},  // き
    {0x304E, 0x82, 0xAC},  // ぎ
    {0x304F, 0x82, 0xAD},  // く
    {0x3051, 0x82, 0xAF},  // け
    {0x3053, 0x82, 0xB1},  // こ
    {0x3055, 0x82, 0xB3},  // さ
    {0x3057, 0x82, 0xB5},  // し
    {0x3059, 0x82, 0xB7},  // す
    {0x305B, 0x82, 0xB9},  // せ
    {0x305F, 0x82, 0xBD},  // た
    {0x3060, 0x82, 0xBE},  // だ
    {0x3066, 0x82, 0xC4},  // て
    {0x3067, 0x82, 0xC5},  // で
    {0x3068, 0x82, 0xC6},  // と
    {0x306A, 0x82, 0xC8},  // な
    {0x306B, 0x82, 0xC9},  // に
    {0x306E, 0x82, 0xCC},  // の
    {0x306F, 0x82, 0xCD},  // は
    {0x3070, 0x82, 0xCE},  // ば
    {0x3078, 0x82, 0xD6},  // へ
    {0x307E, 0x82, 0xDC},  // ま
    {0x307F, 0x82, 0xDD},  // み
    {0x3081, 0x82, 0xDF},  // め
    {0x3082, 0x82, 0xE0},  // も
    {0x308A, 0x82, 0xE8},  // り
    {0x308C, 0x82, 0xEA},  // れ
    {0x308F, 0x82, 0xED},  // わ
    {0x3092, 0x82, 0xF0},  // を
    {0x3093, 0x82, 0xF1},  // ん
    {0x30A1, 0x83, 0x40},  // ァ
    {0x30A4, 0x83, 0x43},  // イ
    {0x30A8, 0x83, 0x47},  // エ
    {0x30A9, 0x83, 0x48},  // ォ
    {0x30AA, 0x83, 0x49},  // オ
    {0x30B0, 0x83, 0x4F},  // グ
    {0x30B2, 0x83, 0x51},  // ゲ
    {0x30B3, 0x83, 0x52},  // コ
    {0x30B5, 0x83, 0x54},  // サ
    {0x30B9, 0x83, 0x58},  // ス
    {0x30BF, 0x83, 0x5E},  // タ
    {0x30C0, 0x83, 0x5F},  // ダ
    {0x30C1, 0x83, 0x60},  // チ
    {0x30C3, 0x83, 0x62},  // ッ
    {0x30C6, 0x83, 0x65},  // テ
    {0x30C7, 0x83, 0x66},  // デ
    {0x30C8, 0x83, 0x67},  // ト
    {0x30CD, 0x83, 0x6C},  // ネ
    {0x30CE, 0x83, 0x6D},  // ノ
    {0x30D0, 0x83, 0x6F},  // バ
    {0x30D3, 0x83, 0x72},  // ビ
    {0x30D5, 0x83, 0x74},  // フ
    {0x30D7, 0x83, 0x76},  // プ
    {0x30D8, 0x83, 0x77},  // ヘ
    {0x30DE, 0x83, 0x7D},  // マ
    {0x30E0, 0x83, 0x80},  // ム
    {0x30E1, 0x83, 0x81},  // メ
    {0x30E2, 0x83, 0x82},  // モ
    {0x30E3, 0x83, 0x83},  // ャ
    {0x30E9, 0x83, 0x89},  // ラ
    {0x30EA, 0x83, 0x8A},  // リ
    {0x30EB, 0x83, 0x8B},  // ル
    {0x30EC, 0x83, 0x8C},  // レ
    {0x30ED, 0x83, 0x8D},  // ロ
    {0x30F3, 0x83, 0x93},  // ン
    {0x30FC, 0x81, 0x5B},  // ー
    {0x4E0D, 0x95, 0x73},  // 不
    {0x4E2D, 0x92, 0x86},  // 中
    {0x4F8B, 0x97, 0xE1},  // 例
    {0x4FDD, 0x95, 0xDB},  // 保
    {0x5165, 0x93, 0xFC},  // 入
    {0x51FA, 0x8F, 0x6F},  // 出
    {0x529B, 0x97, 0xCD},  // 力
    {0x540D, 0x96, 0xBC},  // 名
    {0x5468, 0x8E, 0xFC},  // 周
    {0x5727, 0x88, 0xB3},  // 圧
    {0x5909, 0x95, 0xCF},  // 変
    {0x5927, 0x91, 0xE5},  // 大
    {0x5931, 0x8E, 0xB8},  // 失
    {0x5B9A, 0x92, 0xE8},  // 定
    {0x5BFE, 0x91, 0xCE},  // 対
    {0x5EF6, 0x89, 0x84},  // 延
    {0x5F0F, 0x8E, 0xAE},  // 式
    {0x5F15, 0x88, 0xF8},  // 引
    {0x5F62, 0x8C, 0x60},  // 形
    {0x6307, 0x8E, 0x77},  // 指
    {0x63DB, 0x8A, 0xB7},  // 換
    {0x6557, 0x94, 0x73},  // 敗
    {0x6570, 0x90, 0x94},  // 数
    {0x660E, 0x96, 0xBE},  // 明
    {0x6642, 0x8E, 0x9E},  // 時
    {0x66F8, 0x8F, 0x91},  // 書
    {0x6B63, 0x90, 0xB3},  // 正
    {0x6CE2, 0x94, 0x67},  // 波
    {0x7121, 0x96, 0xB3},  // 無
    {0x751F, 0x90, 0xB6},  // 生
    {0x767A, 0x94, 0xAD},  // 発
    {0x78BA, 0x8A, 0x6D},  // 確
    {0x79D2, 0x95, 0x62},  // 秒
    {0x7E2E, 0x8F, 0x6B},  // 縮
    {0x8AAD, 0x93, 0xC7},  // 読
    {0x8C61, 0x8F, 0xDB},  // 象
    {0x8FBC, 0x8D, 0x9E},  // 込
    {0x9014, 0x93, 0x72},  // 途
    {0x9045, 0x92, 0x78},  // 遅
    {0x9577, 0x92, 0xB7},  // 長
    {0x9593, 0x8A, 0xD4},  // 間
    {0xFF0E, 0x81, 0x44},  // ．
};

const SjisCode* findSjis(uint32_t codePoint)
{
    size_t lo = 0;
    size_t hi = std::size(kSjisTable);
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (kSjisTable[mid].codePoint < codePoint) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return (lo < std::size(kSjisTable) && kSjisTable[lo].codePoint == codePoint) ? &kSjisTable[lo]
                                                                                 : nullptr;
}

// Decodes one UTF-8 sequence at text[*pos]; returns the code point, or -1 for a
// malformed sequence, and advances *pos past it.
int64_t decodeUtf8(const unsigned char* text, size_t length, size_t* pos)
{
    const unsigned char first = text[*pos];
    size_t extra = 0;
    uint32_t code = 0;
    if (first < 0x80) {
        *pos += 1;
        return first;
    }
    if ((first & 0xE0) == 0xC0) {
        extra = 1;
        code = first & 0x1Fu;
    } else if ((first & 0xF0) == 0xE0) {
        extra = 2;
        code = first & 0x0Fu;
    } else if ((first & 0xF8) == 0xF0) {
        extra = 3;
        code = first & 0x07u;
    } else {
        return -1;
    }
    if (*pos + extra >= length) {
        return -1;
    }
    for (size_t k = 1; k <= extra; ++k) {
        const unsigned char next = text[*pos + k];
        if ((next & 0xC0) != 0x80) {
            return -1;
        }
        code = (code << 6) | (next & 0x3Fu);
    }
    // Only the shortest form of a character is valid UTF-8.
    constexpr std::array<uint32_t, 4> kShortest = {0, 0x80, 0x800, 0x10000};
    if (code < kShortest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return -1;
    }
    *pos += extra + 1;
    return code;
}

}  // namespace

int toShiftJis(const char* utf8, char* out, size_t outSize)
{
    const auto* text = reinterpret_cast<const unsigned char*>(utf8);
    const size_t length = std::strlen(utf8);
    size_t pos = 0;
    size_t used = 0;
    if (outSize == 0) {
        return -1;
    }
    while (pos < length) {
        const int64_t code = decodeUtf8(text, length, &pos);
        if (code < 0) {
            return -1;
        }
        if (code < 0x80) {
            if (used + 1 >= outSize) {
                return -1;
            }
            out[used++] = static_cast<char>(code);
            continue;
        }
        const SjisCode* sjis = findSjis(static_cast<uint32_t>(code));
        if (sjis == nullptr || used + 2 >= outSize) {
            return -1;
        }
        out[used++] = static_cast<char>(sjis->lead);
        out[used++] = static_cast<char>(sjis->trail);
    }
    out[used] = '\0';
    return 0;
}

bool consoleUsesUtf8()
{
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr &&
           (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

const char* consoleFormat(FILE* stream, Text text, ConsoleFormat& buffer)
{
    // Standard output goes first, so that a merged log keeps the order of writing.
    if (stream == stderr) {
        std::fflush(stdout);
    }
    const char* format = textFormat(text);
    if (consoleUsesUtf8()) {
        return format;
    }
    return toShiftJis(format, buffer.data(), buffer.size()) == 0 ? buffer.data() : nullptr;
}
