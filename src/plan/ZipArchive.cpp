#include "ZipArchive.h"

#include <unzip.h>
#include <zip.h>

#include <algorithm>
#include <cstring>

namespace velqor {

// minizip reads and writes through these: a string and a position.
struct ZipMemory {
    std::string *out = nullptr; // written, for an archive being made
    const std::string *in = nullptr;
    std::size_t at = 0;
    std::size_t Size() const { return out ? out->size() : in->size(); }
};

namespace {

using Memory = ZipMemory;

voidpf ZCALLBACK OpenMemory(voidpf opaque, const void *, int)
{
    return opaque;
}

uLong ZCALLBACK ReadMemory(voidpf, voidpf stream, void *buffer, uLong size)
{
    auto *memory = static_cast<Memory *>(stream);
    const std::string &bytes = memory->out ? *memory->out : *memory->in;
    const std::size_t count = std::min<std::size_t>(size, bytes.size() - std::min(memory->at, bytes.size()));
    std::memcpy(buffer, bytes.data() + memory->at, count);
    memory->at += count;
    return static_cast<uLong>(count);
}

uLong ZCALLBACK WriteMemory(voidpf, voidpf stream, const void *buffer, uLong size)
{
    auto *memory = static_cast<Memory *>(stream);
    if (!memory->out)
        return 0;
    std::string &out = *memory->out;
    if (out.size() < memory->at + size)
        out.resize(memory->at + size);
    std::memcpy(&out[memory->at], buffer, size);
    memory->at += size;
    return size;
}

ZPOS64_T ZCALLBACK TellMemory(voidpf, voidpf stream)
{
    return static_cast<Memory *>(stream)->at;
}

long ZCALLBACK SeekMemory(voidpf, voidpf stream, ZPOS64_T offset, int origin)
{
    auto *memory = static_cast<Memory *>(stream);
    const std::size_t base = origin == ZLIB_FILEFUNC_SEEK_CUR ? memory->at
        : origin == ZLIB_FILEFUNC_SEEK_END                    ? memory->Size()
                                                              : 0;
    if (offset > memory->Size() - std::min<std::size_t>(base, memory->Size()) && !memory->out)
        return -1;
    memory->at = base + static_cast<std::size_t>(offset);
    return 0;
}

int ZCALLBACK CloseMemory(voidpf, voidpf)
{
    return 0;
}

int ZCALLBACK MemoryError(voidpf, voidpf)
{
    return 0;
}

zlib_filefunc64_def Functions(Memory *memory)
{
    return {OpenMemory, ReadMemory, WriteMemory, TellMemory, SeekMemory, CloseMemory, MemoryError, memory};
}

} // namespace

ZipArchive::ZipArchive(const std::string &bytes) : memory(new ZipMemory {nullptr, &bytes, 0})
{
    zlib_filefunc64_def functions = Functions(memory.get());
    archive = unzOpen2_64("", &functions);
}

ZipArchive::~ZipArchive()
{
    if (archive)
        unzClose(archive);
}

std::optional<std::string> ZipArchive::Member(const std::string &name, std::size_t limit) const
{
    if (!archive || unzLocateFile(archive, name.c_str(), 1) != UNZ_OK || unzOpenCurrentFile(archive) != UNZ_OK)
        return std::nullopt;
    std::string bytes;
    char buffer[65536];
    int read = 0;
    while ((read = unzReadCurrentFile(archive, buffer, sizeof buffer)) > 0) {
        if (bytes.size() + static_cast<std::size_t>(read) > limit) {
            read = -1;
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(read));
    }
    // Closing checks the member's CRC.
    const bool intact = unzCloseCurrentFile(archive) == UNZ_OK;
    if (read < 0 || !intact)
        return std::nullopt;
    return bytes;
}

std::string ZipArchive::Write(const std::vector<std::pair<std::string, std::string>> &members)
{
    std::string out;
    Memory memory {&out, nullptr, 0};
    zlib_filefunc64_def functions = Functions(&memory);
    zipFile zip = zipOpen2_64("", APPEND_STATUS_CREATE, nullptr, &functions);
    if (!zip)
        return {};
    bool ok = true;
    for (const auto &[name, bytes] : members) {
        zip_fileinfo info {};
        // 1 January 1980, the earliest a zip can say: the same list makes the same file.
        info.tmz_date.tm_mday = 1;
        info.tmz_date.tm_year = 1980;
        ok = ok &&
            zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                  Z_DEFAULT_COMPRESSION, bytes.size() >= 0xffffffffu) == ZIP_OK &&
            zipWriteInFileInZip(zip, bytes.data(), static_cast<unsigned>(bytes.size())) == ZIP_OK &&
            zipCloseFileInZip(zip) == ZIP_OK;
    }
    ok = zipClose(zip, nullptr) == ZIP_OK && ok;
    return ok ? out : std::string();
}

} // namespace velqor
