// The end of a program image in its file: where data appended to the file
// (the setup script behind the engine, the message file behind qel.lib)
// begins.
//
//  - ELF (32/64-bit, either byte order): the largest end of any section that
//    occupies file space, of the section-header table, of the program-header
//    table and of any segment.
//  - PE: the largest PointerToRawData + SizeOfRawData over the section table.
//    The table follows the optional header, whose size the COFF header gives
//    (224 bytes for every 32-bit image, 240 for a 64-bit one).
//
// Header values that point past the end of the file mean a damaged image:
// the finder then reports no result rather than an offset, so nothing is
// read from beyond the file and a damaged engine is not taken for a valid one.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace engine {

// Reads size bytes at offset into buffer; false when they are not all there.
using ReadAt = std::function<bool(std::uint64_t offset, void* buffer, std::size_t size)>;

// The image end, or nullopt when the file is neither ELF nor PE or its
// headers are damaged.
std::optional<std::uint64_t> FindImageEnd(const ReadAt& read, std::uint64_t fileSize);
std::optional<std::uint64_t> FindImageEnd(std::string_view fileBytes);
std::optional<std::uint64_t> FindImageEndOfFile(const std::string& hostPath);

}  // namespace engine
