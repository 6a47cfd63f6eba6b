#include "provider/archive/zip_writer.h"

#include <zlib.h>

#include <algorithm>

namespace revivo::zip {

namespace {

constexpr size_t kChunk = 256 * 1024;

bool IsAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

Status ZipWriter::AddMember(const std::string& name, InputStream& input, DosTimestamp stamp) {
    if (name.empty() || name.size() > 0xFFFF) return Status::Unsupported;
    if (m_members.size() >= kMaxEntries) return Status::TooLarge;
    uint64_t offset = m_output.Position();
    if (offset >= kZip64Threshold) return Status::TooLarge;

    Member member{name, static_cast<uint16_t>(IsAscii(name) ? 0 : kFlagUtf8Name),
                  m_level == 0 ? kMethodStored : kMethodDeflated, stamp, 0, 0, 0, static_cast<uint32_t>(offset)};
    std::string header;
    AppendLe32(header, kLocalHeaderSignature);
    AppendLe16(header, kVersionNeededDeflate);
    AppendLe16(header, member.flags);
    AppendLe16(header, member.method);
    AppendLe16(header, stamp.time);
    AppendLe16(header, stamp.date);
    AppendLe32(header, 0);  // CRC and sizes, patched below
    AppendLe32(header, 0);
    AppendLe32(header, 0);
    AppendLe16(header, static_cast<uint16_t>(name.size()));
    AppendLe16(header, 0);
    header += name;
    if (!m_output.Write(header.data(), header.size())) return Status::WriteFailed;

    Status written = WriteData(input, member);
    if (written != Status::Ok) return written;

    std::string patch;
    AppendLe32(patch, member.crc);
    AppendLe32(patch, member.compressedSize);
    AppendLe32(patch, member.uncompressedSize);
    if (!m_output.WriteAt(offset + 14, patch.data(), patch.size())) return Status::WriteFailed;
    m_members.push_back(std::move(member));
    return Status::Ok;
}

Status ZipWriter::WriteData(InputStream& input, Member& member) {
    std::string in(kChunk, '\0');
    std::string out(kChunk, '\0');
    uLong crc = crc32(0, nullptr, 0);
    uint64_t total = 0, compressed = 0;

    z_stream stream{};
    bool deflating = member.method == kMethodDeflated;
    // memLevel 8 and the default strategy, as the usual zip tools use.
    if (deflating && deflateInit2(&stream, std::clamp(m_level, 1, 9), Z_DEFLATED, -MAX_WBITS, 8,
                                  Z_DEFAULT_STRATEGY) != Z_OK) {
        return Status::OutOfMemory;
    }
    struct Ender {
        z_stream* s;
        bool active;
        ~Ender() {
            if (active) deflateEnd(s);
        }
    } ender{&stream, deflating};

    for (bool finished = false; !finished;) {
        size_t read = 0;
        if (!input.Read(in.data(), in.size(), &read)) return Status::ReadFailed;
        finished = read == 0;
        total += read;
        if (total >= kZip64Threshold) return Status::TooLarge;
        crc = crc32(crc, reinterpret_cast<const Bytef*>(in.data()), static_cast<uInt>(read));
        if (!deflating) {
            if (read && !m_output.Write(in.data(), read)) return Status::WriteFailed;
            compressed += read;
            continue;
        }
        stream.next_in = reinterpret_cast<Bytef*>(in.data());
        stream.avail_in = static_cast<uInt>(read);
        int flush = finished ? Z_FINISH : Z_NO_FLUSH;
        int result;
        do {
            stream.next_out = reinterpret_cast<Bytef*>(out.data());
            stream.avail_out = static_cast<uInt>(out.size());
            result = deflate(&stream, flush);
            if (result == Z_STREAM_ERROR) return Status::OutOfMemory;
            size_t produced = out.size() - stream.avail_out;
            compressed += produced;
            if (compressed >= kZip64Threshold) return Status::TooLarge;
            if (produced && !m_output.Write(out.data(), produced)) return Status::WriteFailed;
        } while (stream.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    }
    member.crc = static_cast<uint32_t>(crc);
    member.compressedSize = static_cast<uint32_t>(compressed);
    member.uncompressedSize = static_cast<uint32_t>(total);
    return Status::Ok;
}

Status ZipWriter::Finish() {
    uint64_t start = m_output.Position();
    if (start >= kZip64Threshold) return Status::TooLarge;
    std::string directory;
    for (const Member& member : m_members) {
        AppendLe32(directory, kCentralHeaderSignature);
        AppendLe16(directory, kVersionMadeByUnix);
        AppendLe16(directory, kVersionNeededDeflate);
        AppendLe16(directory, member.flags);
        AppendLe16(directory, member.method);
        AppendLe16(directory, member.stamp.time);
        AppendLe16(directory, member.stamp.date);
        AppendLe32(directory, member.crc);
        AppendLe32(directory, member.compressedSize);
        AppendLe32(directory, member.uncompressedSize);
        AppendLe16(directory, static_cast<uint16_t>(member.name.size()));
        AppendLe16(directory, 0);  // extra
        AppendLe16(directory, 0);  // comment
        AppendLe16(directory, 0);  // disk
        AppendLe16(directory, 0);  // internal attributes
        AppendLe32(directory, kRegularFileMode << 16);
        AppendLe32(directory, member.localHeaderOffset);
        directory += member.name;
    }
    if (start + directory.size() >= kZip64Threshold) return Status::TooLarge;
    uint32_t directorySize = static_cast<uint32_t>(directory.size());
    AppendLe32(directory, kEndRecordSignature);
    AppendLe16(directory, 0);
    AppendLe16(directory, 0);
    AppendLe16(directory, static_cast<uint16_t>(m_members.size()));
    AppendLe16(directory, static_cast<uint16_t>(m_members.size()));
    AppendLe32(directory, directorySize);
    AppendLe32(directory, static_cast<uint32_t>(start));
    AppendLe16(directory, 0);
    return m_output.Write(directory.data(), directory.size()) ? Status::Ok : Status::WriteFailed;
}

}  // namespace revivo::zip
