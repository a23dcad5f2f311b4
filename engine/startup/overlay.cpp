// Image-end finder: see overlay.h.
#include "engine/startup/overlay.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace engine {
namespace {

struct Reader {
  const ReadAt& read;
  std::uint64_t fileSize;
  bool bigEndian = false;

  bool Get(std::uint64_t off, unsigned width, std::uint64_t& out) const {
    unsigned char b[8];
    if (off > fileSize || width > fileSize - off || !read(off, b, width)) return false;
    out = 0;
    for (unsigned i = 0; i < width; ++i) {
      const unsigned shift = bigEndian ? 8 * (width - 1 - i) : 8 * i;
      out |= static_cast<std::uint64_t>(b[i]) << shift;
    }
    return true;
  }
};

// a + b * c within the file, without overflow.
bool EndWithin(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t fileSize, std::uint64_t& end) {
  if (c != 0 && b > (fileSize / c)) return false;
  const std::uint64_t span = b * c;
  if (a > fileSize || span > fileSize - a) return false;
  end = a + span;
  return true;
}

std::optional<std::uint64_t> ElfEnd(Reader& r, unsigned char elfClass, unsigned char data) {
  if ((elfClass != 1 && elfClass != 2) || (data != 1 && data != 2)) return std::nullopt;
  r.bigEndian = data == 2;
  const bool is64 = elfClass == 2;
  const unsigned word = is64 ? 8 : 4;
  std::uint64_t phoff, shoff, ehsize, phentsize, phnum, shentsize, shnum;
  const std::uint64_t base = is64 ? 0x20 : 0x1C;  // e_phoff
  if (!r.Get(base, word, phoff) || !r.Get(base + word, word, shoff) || !r.Get(base + 2 * word + 4, 2, ehsize) ||
      !r.Get(base + 2 * word + 6, 2, phentsize) || !r.Get(base + 2 * word + 8, 2, phnum) ||
      !r.Get(base + 2 * word + 10, 2, shentsize) || !r.Get(base + 2 * word + 12, 2, shnum))
    return std::nullopt;

  if (ehsize > r.fileSize) return std::nullopt;
  std::uint64_t imageEnd = ehsize, end = 0;
  const unsigned minPh = is64 ? 56 : 32, minSh = is64 ? 64 : 40;
  if (phnum != 0) {
    if (phentsize < minPh || !EndWithin(phoff, phnum, phentsize, r.fileSize, end)) return std::nullopt;
    imageEnd = std::max(imageEnd, end);
    for (std::uint64_t i = 0; i < phnum; ++i) {
      const std::uint64_t h = phoff + i * phentsize;
      std::uint64_t off, filesz;
      if (!r.Get(h + (is64 ? 8 : 4), word, off) || !r.Get(h + (is64 ? 32 : 16), word, filesz)) return std::nullopt;
      if (!EndWithin(off, filesz, 1, r.fileSize, end)) return std::nullopt;
      imageEnd = std::max(imageEnd, end);
    }
  }
  if (shoff != 0) {
    if (shentsize < minSh) return std::nullopt;
    // Extended numbering: with 0 in e_shnum the count is sh_size of section 0.
    if (shnum == 0 && !r.Get(shoff + (is64 ? 0x20 : 0x14), word, shnum)) return std::nullopt;
    if (!EndWithin(shoff, shnum, shentsize, r.fileSize, end)) return std::nullopt;
    imageEnd = std::max(imageEnd, end);
    for (std::uint64_t i = 0; i < shnum; ++i) {
      const std::uint64_t h = shoff + i * shentsize;
      std::uint64_t type, off, size;
      if (!r.Get(h + 4, 4, type) || !r.Get(h + (is64 ? 0x18 : 0x10), word, off) ||
          !r.Get(h + (is64 ? 0x20 : 0x14), word, size))
        return std::nullopt;
      if (type == 8 /* SHT_NOBITS */ || type == 0 /* SHT_NULL */) continue;
      if (!EndWithin(off, size, 1, r.fileSize, end)) return std::nullopt;
      imageEnd = std::max(imageEnd, end);
    }
  }
  return imageEnd;
}

std::optional<std::uint64_t> PeEnd(Reader& r) {
  std::uint64_t peOff, sig, count, optSize;
  if (!r.Get(0x3C, 4, peOff) || !r.Get(peOff, 4, sig) || sig != 0x00004550u) return std::nullopt;
  if (!r.Get(peOff + 4 + 2, 2, count) || !r.Get(peOff + 4 + 16, 2, optSize)) return std::nullopt;
  const std::uint64_t table = peOff + 4 + 20 + optSize;
  std::uint64_t imageEnd = 0, end = 0;
  if (!EndWithin(table, count, 40, r.fileSize, end)) return std::nullopt;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t s = table + i * 40;
    std::uint64_t rawSize, rawPtr;
    if (!r.Get(s + 16, 4, rawSize) || !r.Get(s + 20, 4, rawPtr)) return std::nullopt;
    if (!EndWithin(rawPtr, rawSize, 1, r.fileSize, end)) return std::nullopt;
    imageEnd = std::max(imageEnd, end);
  }
  return imageEnd;
}

}  // namespace

std::optional<std::uint64_t> FindImageEnd(const ReadAt& read, std::uint64_t fileSize) {
  Reader r{read, fileSize};
  unsigned char magic[6] = {};
  if (fileSize < 2 || !read(0, magic, fileSize >= 6 ? 6 : 2)) return std::nullopt;
  if (fileSize >= 6 && magic[0] == 0x7F && magic[1] == 'E' && magic[2] == 'L' && magic[3] == 'F')
    return ElfEnd(r, magic[4], magic[5]);
  if (magic[0] == 'M' && magic[1] == 'Z') return PeEnd(r);
  return std::nullopt;
}

std::optional<std::uint64_t> FindImageEnd(std::string_view bytes) {
  const ReadAt read = [bytes](std::uint64_t off, void* buf, std::size_t n) {
    if (off > bytes.size() || n > bytes.size() - off) return false;
    std::memcpy(buf, bytes.data() + off, n);
    return true;
  };
  return FindImageEnd(read, bytes.size());
}

std::optional<std::uint64_t> FindImageEndOfFile(const std::string& hostPath) {
  const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  std::optional<std::uint64_t> result;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    const ReadAt read = [fd](std::uint64_t off, void* buf, std::size_t n) {
      return ::pread(fd, buf, n, static_cast<off_t>(off)) == static_cast<ssize_t>(n);
    };
    result = FindImageEnd(read, static_cast<std::uint64_t>(st.st_size));
  }
  ::close(fd);
  return result;
}

}  // namespace engine
