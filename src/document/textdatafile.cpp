#include "document/textdatafile.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "document/atomicfile.h"
#include "model/attenuation.h"
#include "model/channelrules.h"
#include "model/compound.h"
#include "platform/progress.h"

namespace zun::textfile {

std::string Message(const char* message, const std::string& path, const std::string& detail) {
    std::string s = std::string(message) + ": " + path;
    if (!detail.empty()) s += " (" + detail + ")";
    return s;
}

constexpr std::size_t kReadBuffer = 1 << 16;

constexpr const char* kDataLayoutComment =
    "# channel by channel, then z, then y; one row of x per line. Word: bits 0-13 value v, bit 14 "
    "read-only, bit 15 error; physical = min + (max - min) * v / 16383 (RANGES)\n";

struct Token {
    enum Type { End, Word, Number, Quoted } type = End;
    std::string text;
    int line = 0;
};

// Splits the file into tokens, reading it in pieces.
class Tokenizer {
public:
    Tokenizer(const std::string& path) : path_(path), buf_(kReadBuffer) {
        file_ = std::fopen(path.c_str(), "rb");
        if (!file_) throw DataFileError(Message(kCannotOpen, path));
        struct stat st {};
        if (::fstat(::fileno(file_), &st) == 0 && st.st_size > 0)
            size_ = static_cast<std::uint64_t>(st.st_size);
    }
    ~Tokenizer() { std::fclose(file_); }

    [[noreturn]] void Fail(const char* message, const std::string& detail) const { FailAt(line_, message, detail); }
    [[noreturn]] void FailAt(int line, const char* message, const std::string& detail) const {
        throw DataFileError(Message(message, path_, "line " + std::to_string(line) + ": " + detail));
    }

    const Token& Peek() {
        if (!peeked_) {
            Scan(next_);
            peeked_ = true;
        }
        return next_;
    }
    Token Next() {
        Peek();
        peeked_ = false;
        return std::move(next_);
    }
    std::uint64_t FileSize() const { return size_; }

    double NextDouble(const char* what) {
        Token t = Next();
        double v = 0;
        if (t.type != Token::Number) Fail(kCannotRead, std::string(what) + " expected");
        auto [p, ec] = std::from_chars(t.text.data(), t.text.data() + t.text.size(), v);
        // Not-a-number and infinity read as numbers here but are no decimals.
        if (ec != std::errc() || p != t.text.data() + t.text.size() || !std::isfinite(v))
            Fail(kCannotRead, "bad number " + t.text);
        return v;
    }
    long long NextInteger(const char* what, long long lo, long long hi) {
        Token t = Next();
        long long v = 0;
        const char* b = t.text.data();
        const char* e = b + t.text.size();
        if (t.type == Token::Number && b != e && *b == '+') ++b;
        auto [p, ec] = std::from_chars(b, e, v);
        if (t.type != Token::Number || ec != std::errc() || p != e)
            Fail(kCannotRead, std::string(what) + " expected");
        if (v < lo || v > hi) Fail(kCannotRead, std::string(what) + " out of range: " + t.text);
        return v;
    }
    // The raw words of the data part: the hot path, kept free of allocations.
    std::uint16_t NextWord() {
        SkipBlanks();
        unsigned v = 0;
        int digits = 0;
        int c;
        while ((c = Get()) >= '0' && c <= '9' && digits < 6) {
            v = v * 10 + (c - '0');
            ++digits;
        }
        if (!digits || v > 65535 || !IsDelimiter(c)) Fail(kCannotRead, "voxel word 0..65535 expected");
        if (c != -1) Unget();
        return static_cast<std::uint16_t>(v);
    }

private:
    int Get() {
        if (pos_ == end_) {
            end_ = std::fread(buf_.data(), 1, buf_.size(), file_);
            pos_ = 0;
            if (!end_) {
                last_ = -1;
                return -1;
            }
        }
        last_ = static_cast<unsigned char>(buf_[pos_++]);
        if (last_ == '\n') ++line_;
        return last_;
    }
    void Unget() {
        // Only directly after a Get that returned a character.
        --pos_;
        if (last_ == '\n') --line_;
    }
    static bool IsDelimiter(int c) {
        return c == -1 || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '#';
    }
    void SkipBlanks() {
        for (;;) {
            int c = Get();
            if (c == '#') {
                while ((c = Get()) != -1 && c != '\n') {
                }
                continue;
            }
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
            if (c != -1) Unget();
            return;
        }
    }
    void Scan(Token& t) {
        SkipBlanks();
        t.text.clear();
        t.line = line_;
        int c = Get();
        if (c == -1) {
            t.type = Token::End;
            return;
        }
        if (c == '"') {
            t.type = Token::Quoted;
            for (;;) {
                c = Get();
                if (c == -1 || c == '\n') Fail(kCannotRead, "unterminated name");
                if (c == '"') break;
                if (c == '\\') {
                    c = Get();
                    if (c == -1) Fail(kCannotRead, "unterminated name");
                }
                t.text += static_cast<char>(c);
            }
            return;
        }
        t.text += static_cast<char>(c);
        while (!IsDelimiter(c = Get()) && c != '"') t.text += static_cast<char>(c);
        if (c != -1) Unget();
        char f = t.text[0];
        t.type = (f >= '0' && f <= '9') || f == '-' || f == '+' || f == '.' ? Token::Number : Token::Word;
    }

    std::string path_;
    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;
    std::vector<char> buf_;
    std::size_t pos_ = 0, end_ = 0;
    int last_ = 0;
    int line_ = 1;
    Token next_;
    bool peeked_ = false;
};

}  // namespace zun::textfile

namespace zun {

namespace {

using namespace textfile;

constexpr long long kMaxDim = 1 << 20;

struct HeaderState {
    long long channels = -1;
    bool grid = false;
    std::vector<std::string> names;
    std::vector<long long> types;
    std::vector<double> ranges;
    std::map<std::int32_t, int> beamLines;  // channel index -> line of its BEAM
};

// A formula the document could not take would be imported as an empty compound and written back
// without it.
void CheckFormula(Tokenizer& in, const Token& f) {
    Compound c;
    if (c.SetFormula(f.text, true) != 0)
        in.FailAt(f.line, kCannotRead, "formula \"" + f.text + "\": " + c.parseMessage);
}

// The energy must lie where the document's attenuation source has data: elsewhere every
// coefficient would be 0.
void CheckBeamEnergies(Tokenizer& in, const DataDocument& doc, const HeaderState& h) {
    for (const auto& [i, e] : doc.beamEnergies)
        if (std::string why = CheckBeamEnergy(doc.method, e); !why.empty())
            in.FailAt(h.beamLines.at(i), kCannotRead, why);
}

void ReadHeader(Tokenizer& in, DataDocument& doc, HeaderState& h) {
    for (;;) {
        Token key = in.Next();
        if (key.type == Token::End) in.Fail(kCannotRead, "DATA missing");
        if (key.type != Token::Word) in.Fail(kCannotRead, "keyword expected, found " + key.text);
        const std::string& k = key.text;
        if (k == "DATA") return;
        if (k == "GRID") {
            doc.nx = static_cast<std::uint32_t>(in.NextInteger("grid size", 1, kMaxDim));
            doc.ny = static_cast<std::uint32_t>(in.NextInteger("grid size", 1, kMaxDim));
            doc.nz = static_cast<std::uint32_t>(in.NextInteger("grid size", 1, kMaxDim));
            h.grid = true;
        } else if (k == "CHANNELS") {
            const int line = in.Peek().line;
            h.channels = in.NextInteger("channel count", 1, 65535);
            // Refused before the names are gathered.
            if (std::string why = CheckChannelCount(static_cast<std::size_t>(h.channels)); !why.empty())
                in.FailAt(line, kNotTextFile, why);
        } else if (k == "SOURCE") {
            doc.method = static_cast<std::int32_t>(in.NextInteger("attenuation method", 0, 3));
            doc.coefficientKind = static_cast<std::int32_t>(in.NextInteger("coefficient kind", 0, 1));
        } else if (k == "SCALES") {
            doc.multiplier = in.NextDouble("multiplier");
            doc.sx = in.NextDouble("voxel size");
            doc.sy = in.NextDouble("voxel size");
            doc.sz = in.NextDouble("voxel size");
        } else if (k == "NAMES") {
            while (in.Peek().type == Token::Quoted) h.names.push_back(in.Next().text);
        } else if (k == "TYPES") {
            while (in.Peek().type == Token::Number) h.types.push_back(in.NextInteger("channel type", 0, 3));
        } else if (k == "RANGES") {
            while (in.Peek().type == Token::Number) {
                const int line = in.Peek().line;
                const double lo = in.NextDouble("range");
                const double hi = in.NextDouble("range");
                if (lo > hi) in.FailAt(line, kCannotRead, "range minimum above its maximum");
                h.ranges.insert(h.ranges.end(), {lo, hi});
            }
        } else if (k == "COMPOUNDS") {
            while (in.Peek().type == Token::Number) {
                DataCompound c;
                c.channel = static_cast<std::int32_t>(in.NextInteger("channel index", 0, 65534));
                Token f = in.Next();
                if (f.type != Token::Quoted) in.Fail(kCannotRead, "formula in double quotes expected");
                CheckFormula(in, f);
                c.formula = f.text;
                const int line = in.Peek().line;
                c.density = in.NextDouble("density");
                if (c.density < 0) in.FailAt(line, kCannotRead, "negative density");
                doc.compounds.push_back(std::move(c));
            }
        } else if (k == "BEAM") {
            auto i = static_cast<std::int32_t>(in.NextInteger("channel index", 0, 65534));
            const int line = in.Peek().line;
            const double e = in.NextDouble("beam energy");
            if (!(e > 0)) in.FailAt(line, kCannotRead, "beam energy must be above 0 keV");
            if (!doc.beamEnergies.emplace(i, e).second) in.FailAt(line, kNotTextFile, "BEAM repeated");
            h.beamLines[i] = line;
        } else if (k == "ACCURACY") {
            auto i = static_cast<std::int32_t>(in.NextInteger("channel index", 0, 65534));
            doc.accuracies[i] = in.NextDouble("accuracy");
        } else if (k == "SLICES") {
            while (in.Peek().type == Token::Number)
                doc.slices.push_back(
                    static_cast<std::uint32_t>(in.NextInteger("slice number", 0, kMaxDim - 1)));
        } else {
            in.Fail(kNotTextFile, "unknown keyword " + k);
        }
    }
}

void BuildChannels(Tokenizer& in, DataDocument& doc, HeaderState& h) {
    if (!h.grid || h.channels < 0) in.Fail(kNotTextFile, "GRID and CHANNELS must come before DATA");
    auto c = static_cast<std::size_t>(h.channels);
    if (h.names.size() != c) in.Fail(kNotTextFile, "NAMES must give one name per channel");
    if (h.types.size() != c) in.Fail(kNotTextFile, "TYPES must give one type per channel");
    if (h.ranges.size() != 2 * c) in.Fail(kNotTextFile, "RANGES must give two values per channel");
    doc.channels.resize(c);
    for (std::size_t i = 0; i < c; ++i) {
        DataChannel& ch = doc.channels[i];
        ch.name = h.names[i];
        ch.kind = static_cast<std::int32_t>(h.types[i]);
        ch.rangeMin = static_cast<float>(h.ranges[2 * i]);
        ch.rangeMax = static_cast<float>(h.ranges[2 * i + 1]);
    }
    if (std::string why = CheckChannelList(doc.channels, false); !why.empty()) in.Fail(kNotTextFile, why);
    for (const DataCompound& cp : doc.compounds)
        if (cp.channel >= h.channels || doc.channels[cp.channel].kind != 0)
            in.Fail(kNotTextFile, "COMPOUNDS names a channel that is no composition channel");
    for (const auto& [i, e] : doc.beamEnergies)
        if (i >= h.channels || doc.channels[i].kind != 1)
            in.Fail(kNotTextFile, "BEAM names no X-ray CT channel");
    // Without its energy a CT channel would be computed at whatever energy the set-up holds.
    for (std::size_t i = 0; i < c; ++i)
        if (doc.channels[i].kind == 1 && !doc.beamEnergies.count(static_cast<std::int32_t>(i)))
            in.Fail(kNotTextFile, "no BEAM line for X-ray CT channel \"" + doc.channels[i].name + "\"");
    CheckBeamEnergies(in, doc, h);
    for (const auto& [i, a] : doc.accuracies)
        if (i >= h.channels) in.Fail(kNotTextFile, "ACCURACY names no channel");
    std::set<std::uint32_t> seen;
    for (std::uint32_t z : doc.slices)
        if (z >= doc.nz || !seen.insert(z).second)
            in.Fail(kNotTextFile, "SLICES outside the grid or repeated");
    std::uint64_t words = std::uint64_t(doc.nx) * doc.ny * doc.PlaneCount();
    if (words > (std::uint64_t(1) << 34)) in.Fail(kNotTextFile, "grid too large");
}

// The shortest text that reads back to the same value.
template <class T>
void AppendNumber(std::string& out, T v) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// Beam energies and accuracies, which the document holds in single precision, and densities, which
// the composition dialog reads in single precision: the shortest text that reads back to the same
// float (40.1, not 40.0999985). A value that is no float keeps every digit it needs.
void AppendSingle(std::string& out, double v) {
    const float f = static_cast<float>(v);
    if (static_cast<double>(f) == v)
        AppendNumber(out, f);
    else
        AppendNumber(out, v);
}

void AppendQuoted(std::string& out, const std::string& s) {
    out += '"';
    for (char c : s) {
        // A bare line break would end the name for the reader.
        if (c == '"' || c == '\\' || c == '\n') out += '\\';
        out += c;
    }
    out += '"';
}

// The reader takes decimal numbers only: a file holding "nan" or "inf" could not be read back.
bool AllFinite(const DataDocument& doc) {
    std::vector<double> v = {doc.multiplier, doc.sx, doc.sy, doc.sz};
    for (const DataChannel& c : doc.channels) v.insert(v.end(), {c.rangeMin, c.rangeMax});
    for (const DataCompound& c : doc.compounds) v.push_back(c.density);
    for (const auto& [i, e] : doc.beamEnergies) v.push_back(e);
    for (const auto& [i, a] : doc.accuracies) v.push_back(a);
    return std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
}

}  // namespace

std::size_t CountFlaggedWords(const std::uint16_t* words, std::size_t count) {
    return static_cast<std::size_t>(
        std::count_if(words, words + count, [](std::uint16_t w) { return w > 16383; }));
}

std::string FlaggedCtWordsWarning(const std::vector<FlaggedWords>& channels, const std::string& path) {
    std::string out;
    for (const auto& [name, flagged] : channels) {
        if (flagged == 0) continue;
        if (!out.empty()) out += "\n";
        out += "X-ray CT channel \"" + name + "\": " + std::to_string(flagged) + " words above 16383";
    }
    if (out.empty()) return out;
    return Message(kFlaggedCtWords, path) + "\n" + out +
           "\nBits 14 and 15 of a word are flags (read-only, error); only bits 0-13 are the value v, "
           "which RANGES maps to min + (max - min) * v / 16383. The words are kept as given.";
}

std::string FlaggedCtWordsWarning(const DataDocument& doc, const std::string& path) {
    std::vector<FlaggedWords> flagged;
    for (const DataChannel& c : doc.channels)
        if (c.kind == 1) flagged.push_back({c.name, CountFlaggedWords(c.words.data(), c.words.size())});
    return FlaggedCtWordsWarning(flagged, path);
}

bool IsTextDataFile(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    char head[4];
    return f && std::fread(head, 1, 4, f.get()) == 4 && std::memcmp(head, "TEXT", 4) == 0;
}

TextDataReader::TextDataReader(const std::string& path, ProgressSink* progress)
    : in_(std::make_unique<textfile::Tokenizer>(path)) {
    Token first = in_->Next();
    if (first.type != Token::Word || first.text != "TEXT") throw DataFileError(Message(kNotTextFile, path));
    Token version = in_->Next();
    if (version.type != Token::Number || version.text != "1")
        throw DataFileError(Message(kNotTextFile, path));
    HeaderState h;
    ReadHeader(*in_, header_, h);
    BuildChannels(*in_, header_, h);
    // Every word takes at least a digit and a blank: a grid the file cannot hold is refused
    // before the channels are allocated.
    if (std::uint64_t(ChannelWordCount()) * header_.channels.size() > in_->FileSize() / 2)
        in_->Fail(kCannotRead, "the file is too short for the grid");
    meter_ = ProgressMeter(progress, std::uint64_t(ChannelWordCount()) * header_.channels.size());
}

TextDataReader::~TextDataReader() = default;

std::size_t TextDataReader::ChannelWordCount() const {
    return header_.PlaneWords() * header_.PlaneCount();
}

void TextDataReader::ReadWords(std::uint16_t* words, std::size_t count) {
    if (count > ChannelWordCount() * header_.channels.size() - read_)
        in_->Fail(kCannotRead, "more words asked for than the grid holds");
    // A row at a time between progress reports.
    const std::size_t row = header_.nx ? header_.nx : 1;
    for (std::size_t at = 0; at < count; at += row) {
        const std::size_t end = std::min(count, at + row);
        for (std::size_t k = at; k < end; ++k) words[k] = in_->NextWord();
        read_ += end - at;
        meter_.Advance(read_);
    }
}

void TextDataReader::ReadChannel(std::uint16_t* words) {
    ReadWords(words, ChannelWordCount());
}

void TextDataReader::Finish() {
    if (read_ != ChannelWordCount() * header_.channels.size()) in_->Fail(kCannotRead, "words left unread");
    Token end = in_->Next();
    if (end.type != Token::Word || end.text != "END") in_->Fail(kCannotRead, "END expected after the data");
}

DataDocument ReadTextDataFile(const std::string& path) {
    return ReadTextDataFile(path, nullptr);
}

DataDocument ReadTextDataFile(const std::string& path, ProgressSink* progress) {
    TextDataReader in(path, progress);
    DataDocument doc = in.Header();
    for (DataChannel& c : doc.channels) {
        c.words.resize(in.ChannelWordCount());
        in.ReadChannel(c.words.data());
    }
    in.Finish();
    return doc;
}

void WriteTextDataFile(const std::string& path, const DataDocument& doc) {
    WriteTextDataFile(path, doc, nullptr);
}

void WriteTextDataFile(const std::string& path, const DataDocument& doc, ProgressSink* progress) {
    if (std::string why = CheckChannelList(doc.channels, false); !why.empty())
        throw std::runtime_error("Cannot write file " + path + ": " + why);
    std::size_t words = doc.PlaneWords() * doc.PlaneCount();
    for (const DataChannel& c : doc.channels)
        if (c.words.size() != words)
            throw std::runtime_error("Cannot write file " + path + ": bad channel size");
    WriteTextDataPlanes(
        path, doc,
        [&](std::size_t c, std::size_t plane) { return doc.channels[c].words.data() + plane * doc.PlaneWords(); },
        progress);
}

void WriteTextDataPlanes(const std::string& path, const DataDocument& doc, const PlaneWords& planeWords,
                         ProgressSink* progress) {
    if (std::string why = CheckChannelList(doc.channels, false); !why.empty())
        throw std::runtime_error("Cannot write file " + path + ": " + why);
    if (!AllFinite(doc))
        throw std::runtime_error("Cannot write file " + path + ": a value is not a finite number");

    AtomicFile out(path);
    std::string s;
    s += "TEXT 1\nGRID " + std::to_string(doc.nx) + " " + std::to_string(doc.ny) + " " +
         std::to_string(doc.nz);
    s += "\nCHANNELS " + std::to_string(doc.channels.size());
    s += "\nSOURCE " + std::to_string(doc.method) + " " + std::to_string(doc.coefficientKind) + "\nSCALES";
    for (double v : {doc.multiplier, doc.sx, doc.sy, doc.sz}) AppendNumber(s += ' ', v);
    s += "\nNAMES";
    for (const DataChannel& c : doc.channels) AppendQuoted(s += ' ', c.name);
    s += "\nTYPES";
    for (const DataChannel& c : doc.channels) s += " " + std::to_string(c.kind);
    s += "\nRANGES";
    for (const DataChannel& c : doc.channels) {
        AppendNumber(s += ' ', c.rangeMin);
        AppendNumber(s += ' ', c.rangeMax);
    }
    if (!doc.compounds.empty()) {
        s += "\nCOMPOUNDS";
        for (const DataCompound& c : doc.compounds) {
            s += " " + std::to_string(c.channel) + " ";
            AppendQuoted(s, c.formula);
            AppendSingle(s += ' ', c.density);
        }
    }
    for (const auto& [i, e] : doc.beamEnergies) AppendSingle(s += "\nBEAM " + std::to_string(i) + " ", e);
    for (const auto& [i, a] : doc.accuracies) AppendSingle(s += "\nACCURACY " + std::to_string(i) + " ", a);
    if (!doc.slices.empty()) {
        s += "\nSLICES";
        for (std::uint32_t z : doc.slices) s += " " + std::to_string(z);
    }
    s += "\nDATA\n";
    s += kDataLayoutComment;
    out.Write(s.data(), s.size());
    ProgressMeter meter(progress, std::uint64_t(doc.PlaneWords()) * doc.PlaneCount() * doc.channels.size());
    std::uint64_t done = 0;
    for (std::size_t c = 0; c < doc.channels.size(); ++c) {
        for (std::size_t p = 0; p < doc.PlaneCount(); ++p) {
            const std::uint16_t* w = planeWords(c, p);
            for (std::size_t row = 0; row < doc.ny; ++row, w += doc.nx) {
                meter.Advance(done += doc.nx);
                s.clear();
                for (std::size_t x = 0; x < doc.nx; ++x) {
                    if (x) s += ' ';
                    char buf[8];
                    auto r = std::to_chars(buf, buf + sizeof buf, w[x]);
                    s.append(buf, r.ptr);
                }
                s += '\n';
                out.Write(s.data(), s.size());
            }
        }
    }
    out.Write("END\n", 4);
    out.Commit();
}

}  // namespace zun
