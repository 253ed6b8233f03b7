#include "document/binarydatafile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <set>

#include "document/atomicfile.h"
#include "model/channelrules.h"
#include "platform/bytestream.h"
#include "platform/progress.h"

namespace zun {

namespace {

constexpr std::uint32_t kBinaryVersion = 1;
constexpr std::size_t kPiece = 1 << 20;

}  // namespace

namespace binaryfile {

class Reader {
public:
    Reader(const std::string& path) : path_(path) {
        file_ = std::fopen(path.c_str(), "rb");
        if (!file_) Fail("cannot open the file");
        if (std::fseek(file_, 0, SEEK_END) != 0) Fail("cannot read the file");
        long end = std::ftell(file_);
        if (end < 0) Fail("cannot read the file");
        size_ = static_cast<std::uint64_t>(end);
        std::rewind(file_);
    }
    ~Reader() {
        if (file_) std::fclose(file_);
    }
    [[noreturn]] void Fail(const std::string& reason) const {
        throw DataFileError("Not a valid binary data file: " + path_ + " (" + reason + ")");
    }
    std::uint64_t Remaining() const { return size_ - pos_; }
    void Bytes(void* p, std::size_t n) {
        if (n > Remaining() || std::fread(p, 1, n, file_) != n) Fail("the file ends too early");
        pos_ += n;
    }
    std::uint32_t U32() {
        std::uint32_t v;
        Bytes(&v, 4);
        return v;
    }
    std::string Text() {
        std::uint32_t n = U32();
        if (n > Remaining()) Fail("the file ends too early");
        std::string s(n, '\0');
        Bytes(s.data(), n);
        return s;
    }

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;
    std::uint64_t pos_ = 0;
};

}  // namespace binaryfile

std::string CheckChannelList(const std::vector<DataChannel>& channels, bool documentOrder) {
    if (channels.empty()) return "no channels";
    if (std::string why = CheckChannelCount(channels.size()); !why.empty()) return why;
    if (documentOrder && channels.front().kind != 0) return "the first channel is not a composition channel";
    std::set<std::string> names;
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const DataChannel& c = channels[i];
        if (c.kind < 0 || c.kind > 3) return "channel kind out of range";
        if (documentOrder && i && c.kind < channels[i - 1].kind) return "channels are not ordered by kind";
        if (c.name.empty()) return "empty channel name";
        // The index, not the name: a name refused for its control characters would garble the text.
        if (std::string why = CheckChannelName(c.name); !why.empty())
            return why + " (channel " + std::to_string(i) + ")";
        if (!names.insert(c.name).second) return "channel name \"" + c.name + "\" repeats";
    }
    return {};
}

int IsBinaryDataFile(std::FILE* file) {
    if (!file) return -1;
    long pos = std::ftell(file);
    if (pos < 0 || std::fseek(file, 0, SEEK_SET) != 0) return -1;
    char head[sizeof kBinaryDataMagic];
    std::size_t got = std::fread(head, 1, sizeof head, file);
    bool error = std::ferror(file) != 0;
    std::clearerr(file);
    std::fseek(file, pos, SEEK_SET);
    if (error) return -1;
    return got == sizeof head && std::memcmp(head, kBinaryDataMagic, sizeof head) == 0 ? 1 : 0;
}

DataDocument ReadBinaryDataFile(const std::string& path) {
    return ReadBinaryDataFile(path, nullptr);
}

BinaryDataReader::BinaryDataReader(const std::string& path, ProgressSink* progress)
    : in_(std::make_unique<binaryfile::Reader>(path)) {
    binaryfile::Reader& in = *in_;
    char magic[sizeof kBinaryDataMagic];
    if (in.Remaining() < sizeof magic) in.Fail("no binary data file header");
    in.Bytes(magic, sizeof magic);
    if (std::memcmp(magic, kBinaryDataMagic, sizeof magic) != 0) in.Fail("no binary data file header");
    std::uint32_t version = in.U32();
    if (version != kBinaryVersion) in.Fail("unknown format version " + std::to_string(version));

    DataDocument& doc = header_;
    doc.notes = in.Text();
    doc.nx = in.U32();
    doc.ny = in.U32();
    doc.nz = in.U32();
    // A new document's grid is empty in every direction; any other grid has planes, rows and
    // columns. A grid with one empty direction would hold no voxel however large the others claim
    // to be, and would pass the size check below.
    const bool empty = doc.nx == 0 && doc.ny == 0 && doc.nz == 0;
    if (!empty && (doc.nx == 0 || doc.ny == 0 || doc.nz == 0)) in.Fail("the grid has an empty direction");
    for (std::uint32_t n : {doc.nx, doc.ny, doc.nz})
        if (n > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
            in.Fail("the grid is too large");
    std::uint32_t count = in.U32();
    if (!count) in.Fail("no channels");
    if (std::string why = CheckChannelCount(count); !why.empty()) in.Fail(why);
    // Each description takes at least 16 bytes: a bound on the count before allocating.
    if (count > in.Remaining() / 16) in.Fail("the file ends too early");
    doc.channels.resize(count);
    for (DataChannel& c : doc.channels) {
        c.name = in.Text();
        in.Bytes(&c.kind, 4);
        in.Bytes(&c.rangeMin, 4);
        in.Bytes(&c.rangeMax, 4);
    }
    if (std::string why = CheckChannelList(doc.channels); !why.empty()) in.Fail(why);

    // nx*ny*nz*c*2 must equal what is left, computed without overflow.
    std::uint64_t left = in.Remaining();
    std::uint64_t words = doc.nx;
    for (std::uint64_t f :
         {std::uint64_t(doc.ny), std::uint64_t(doc.nz), std::uint64_t(count), std::uint64_t(2)}) {
        if (f && words > left / f) in.Fail("the voxel data do not match the grid size");
        words *= f;
    }
    if (words != left) in.Fail("the voxel data do not match the grid size");
    meter_ = ProgressMeter(progress, std::uint64_t(ChannelWordCount()) * count);
}

BinaryDataReader::~BinaryDataReader() = default;

std::size_t BinaryDataReader::ChannelWordCount() const {
    return std::size_t(header_.nx) * header_.ny * header_.nz;
}

void BinaryDataReader::ReadChannel(std::uint16_t* words) {
    const std::size_t perChannel = ChannelWordCount();
    if (read_ + perChannel > std::uint64_t(perChannel) * header_.channels.size())
        in_->Fail("more channels asked for than the file holds");
    for (std::size_t at = 0; at < perChannel; at += kPiece) {
        const std::size_t n = std::min(kPiece, perChannel - at);
        in_->Bytes(words + at, n * 2);
        meter_.Advance(read_ += n);
    }
}

DataDocument ReadBinaryDataFile(const std::string& path, ProgressSink* progress) {
    BinaryDataReader in(path, progress);
    DataDocument doc = in.Header();
    for (DataChannel& c : doc.channels) {
        c.words.resize(in.ChannelWordCount());
        in.ReadChannel(c.words.data());
    }
    return doc;
}

void WriteBinaryDataFile(const std::string& path, const DataDocument& doc) {
    WriteBinaryDataFile(path, doc, nullptr);
}

void WriteBinaryDataFile(const std::string& path, const DataDocument& doc, ProgressSink* progress) {
    if (std::string why = CheckChannelList(doc.channels); !why.empty())
        throw std::runtime_error("Cannot write file " + path + ": " + why);
    const std::size_t perChannel = std::size_t(doc.nx) * doc.ny * doc.nz;
    for (const DataChannel& c : doc.channels)
        if (c.words.size() != perChannel)
            throw std::runtime_error("Cannot write file " + path + ": bad channel size");
    WriteBinaryDataChannels(
        path, doc, [&](std::size_t c) { return doc.channels[c].words.data(); }, progress);
}

void WriteBinaryDataChannels(const std::string& path, const DataDocument& header, const ChannelWords& words,
                             ProgressSink* progress) {
    if (std::string why = CheckChannelList(header.channels); !why.empty())
        throw std::runtime_error("Cannot write file " + path + ": " + why);
    const std::size_t perChannel = std::size_t(header.nx) * header.ny * header.nz;
    AtomicFile out(path);
    auto u32 = [&](std::uint32_t v) { out.Write(&v, 4); };
    auto text = [&](const std::string& s) {
        u32(static_cast<std::uint32_t>(s.size()));
        out.Write(s.data(), s.size());
    };
    out.Write(kBinaryDataMagic, sizeof kBinaryDataMagic);
    u32(kBinaryVersion);
    text(header.notes);
    u32(header.nx);
    u32(header.ny);
    u32(header.nz);
    u32(static_cast<std::uint32_t>(header.channels.size()));
    for (const DataChannel& c : header.channels) {
        text(c.name);
        out.Write(&c.kind, 4);
        out.Write(&c.rangeMin, 4);
        out.Write(&c.rangeMax, 4);
    }
    ProgressMeter meter(progress, std::uint64_t(perChannel) * header.channels.size());
    std::uint64_t done = 0;
    for (std::size_t c = 0; c < header.channels.size(); ++c) {
        const std::uint16_t* w = words(c);
        for (std::size_t at = 0; at < perChannel; at += kPiece) {
            const std::size_t n = std::min(kPiece, perChannel - at);
            out.Write(w + at, n * 2);
            meter.Advance(done += n);
        }
    }
    out.Commit();
}

}  // namespace zun
