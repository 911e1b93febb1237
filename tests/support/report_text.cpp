// Expected console text of sonari3 runs.
#include "support/report_text.h"

#include "support/run_program.h"

const char* const kUsageUtf8 =
    "モノラルをステレオに変換します.\n\n 引数に <入力ファイル名> <出力ファイル名>を\n"
    " 指定してください.\n\n 例 : sonari3  foo.wav  out.wav\n";

ConsoleEncoding encodingFor(const std::string& locale)
{
    const bool utf8 =
        locale.find("UTF-8") != std::string::npos || locale.find("utf8") != std::string::npos;
    return utf8 ? ConsoleEncoding::Utf8 : ConsoleEncoding::ShiftJis;
}

Transcript::Transcript(ConsoleEncoding encoding) : encoding_(encoding) {}

std::string Transcript::fixed(const std::string& utf8) const
{
    return encoding_ == ConsoleEncoding::Utf8 ? utf8 : sjis(utf8);
}

Transcript& Transcript::rawOut(const std::string& bytes)
{
    out_ += bytes;
    merged_ += bytes;
    return *this;
}

Transcript& Transcript::rawErr(const std::string& bytes)
{
    err_ += bytes;
    merged_ += bytes;
    return *this;
}

Transcript& Transcript::fixedOut(const std::string& utf8)
{
    return rawOut(fixed(utf8));
}

Transcript& Transcript::fixedErr(const std::string& utf8)
{
    return rawErr(fixed(utf8));
}

Transcript& Transcript::usage()
{
    return fixedErr(kUsageUtf8);
}

Transcript& Transcript::badDelay()
{
    return fixedErr("遅延時間の指定が正しくありません.\n");
}

Transcript& Transcript::badGain()
{
    return fixedErr("エコーゲインの指定が正しくありません.\n");
}

Transcript& Transcript::notMono()
{
    return fixedErr("入力はモノラルファイルでなければなりません!\n");
}

Transcript& Transcript::cannotOpen(const std::string& path)
{
    fixedErr(" ");
    rawErr(path);
    return fixedErr("をオープンできません.\n");
}

Transcript& Transcript::fileName(const std::string& path)
{
    fixedOut("\nファイル名[");
    rawOut(path);
    return fixedOut("]\n");
}

Transcript& Transcript::readFailedAt(long bytesRead)
{
    return fixedErr(" " + std::to_string(bytesRead) + " で読み込み失敗.\n");
}

Transcript& Transcript::noWave()
{
    return fixedErr("'WAVE' が無い.\n");
}

Transcript& Transcript::notRiff()
{
    return fixedErr("'RIFF' フォーマットでない.\n");
}

Transcript& Transcript::fmtLength(long length)
{
    return fixedErr(" \"fmt \"の長さ: " + std::to_string(length) + " [bytes]\n");
}

Transcript& Transcript::format(unsigned tag, unsigned channels, unsigned long sampleRate,
                               unsigned long bytesPerSec, unsigned blockAlign, unsigned bits)
{
    fixedOut("             データ形式: " + std::to_string(tag) + " (1 = PCM)\n");
    fixedOut("           チャンネル数: " + std::to_string(channels) + "\n");
    fixedOut("     サンプリング周波数: " + std::to_string(sampleRate) + " [Hz]\n");
    fixedOut("          バイト数 / 秒: " + std::to_string(bytesPerSec) + " [bytes/sec]\n");
    fixedOut(" バイト数×チャンネル数: " + std::to_string(blockAlign) + " [bytes]\n");
    return fixedOut("    ビット数 / サンプル: " + std::to_string(bits) + " [bits/sample]\n");
}

Transcript& Transcript::pcmOnly(const std::string& hex)
{
    fixedErr("\nこのプログラムは無圧縮PCMのみを対象とします.\n");
    return fixedErr("このwavファイルの形式は " + hex + " です．\n");
}

Transcript& Transcript::bitsOnly(int bits)
{
    fixedErr("\nこのプログラムは8/16ビットサンプリングされたものを対象とします\n");
    return fixedErr("このwavファイルの bits/secは " + std::to_string(bits) + " です．\n");
}

Transcript& Transcript::dataLength(long length)
{
    return fixedErr("\n \"data\" の長さ: " + std::to_string(length) + " [bytes]\n");
}

Transcript& Transcript::noMemory()
{
    return fixedErr("メモリが確保できません.\n");
}

Transcript& Transcript::dataReadFailed()
{
    return fixedErr("読み込みに失敗しました.\n");
}

Transcript& Transcript::chunkLength(const std::string& id, long length)
{
    fixedOut(" \"");
    rawOut(id);
    return fixedOut("\"の長さ: " + std::to_string(length) + " [bytes]\n");
}

Transcript& Transcript::time(const std::string& shown)
{
    return fixedOut("\n 時間=" + shown + "\n");
}

Transcript& Transcript::timeUnknown()
{
    return fixedOut("\n 時間=不明\n");
}

Transcript& Transcript::pcmFormat(unsigned channels, unsigned long sampleRate, unsigned bits)
{
    const unsigned blockAlign = channels * (bits / 8);
    fmtLength(16);
    return format(1, channels, sampleRate, sampleRate * blockAlign, blockAlign, bits);
}
