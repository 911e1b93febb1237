// The program's texts, exactly as the user sees them, kept in one place.
#include "console/messages.h"

#include <array>

namespace {

// Indexed by Text; the order must follow the enumeration.
constexpr std::array<const char*, kTextCount> kTexts = {
    // Usage
    "モノラルをステレオに変換します.\n\n 引数に <入力ファイル名> <出力ファイル名>を\n"
    " 指定してください.\n\n 例 : sonari3  foo.wav  out.wav\n",
    // BadDelay
    "遅延時間の指定が正しくありません.\n",
    // BadGain
    "エコーゲインの指定が正しくありません.\n",
    // NotMono
    "入力はモノラルファイルでなければなりません!\n",
    // InputTooLarge
    "入力データが大きすぎます.\n",
    // NoMemory
    "メモリが確保できません.\n",
    // InputChanged
    "入力ファイルが読み込みの途中で変わりました.\n",
    // Converted
    "\nモノラルファイル [%s] を [%s] へステレオ変換しました.\n",
    // ReadOpenFailed
    " %sをオープンできません.\n",
    // FileName
    "\nファイル名[%s]\n",
    // ReadFailedAt
    " %ld で読み込み失敗.\n",
    // NoWave
    "'WAVE' が無い.\n",
    // NotRiff
    "'RIFF' フォーマットでない.\n",
    // FmtLength
    " \"fmt \"の長さ: %ld [bytes]\n",
    // DataLength
    "\n \"data\" の長さ: %ld [bytes]\n",
    // ChunkLength
    " \"%c%c%c%c\"の長さ: %ld [bytes]\n",
    // DataReadFailed
    "読み込みに失敗しました.\n",
    // Time
    "\n 時間=%.3f\n",
    // TimeUnknown
    "\n 時間=不明\n",
    // FormatTag
    "             データ形式: %u (1 = PCM)\n",
    // Channels
    "           チャンネル数: %u\n",
    // SampleRate
    "     サンプリング周波数: %lu [Hz]\n",
    // ByteRate
    "          バイト数 / 秒: %lu [bytes/sec]\n",
    // BlockAlign
    " バイト数×チャンネル数: %u [bytes]\n",
    // BitsPerSample
    "    ビット数 / サンプル: %u [bits/sample]\n",
    // PcmOnly
    "\nこのプログラムは無圧縮PCMのみを対象とします.\n",
    // FormatIs
    "このwavファイルの形式は %04X です．\n",
    // BitsOnly
    "\nこのプログラムは8/16ビットサンプリングされたものを対象とします\n",
    // BitsIs
    "このwavファイルの bits/secは %d です．\n",
    // WriteOpenFailed
    "%s をオープンできません.\n",
    // HeaderWriteFailed
    "ヘッダを書き込めません: %s\n",
    // DataWriteError
    "wavDataWriteでエラー発生.\n",
    // WriteFailed
    "書き込みにに失敗しました.\n",
};

}  // namespace

const char* textFormat(Text text)
{
    return kTexts[static_cast<size_t>(text)];
}
