// Which zlib streams libdeflate may decode in zlib's place: a look at the
// stream's headers, never at its data.
#pragma once

#include <cstdint>

namespace archive {

// True when in[0..in_length) is a zlib stream that libdeflate decodes, if at
// all, exactly as zlib's inflate() with the default 32 KiB window does: the
// same verdict, the same output and the same end of stream. libdeflate is
// laxer than zlib in places a damaged or hand-made stream can reach, so the
// stream must show, before libdeflate sees it:
//   - a header of method 8 declaring the 32 KiB window (CINFO 7, as compress()
//     writes it) and no preset dictionary. libdeflate never checks distances
//     against the declared window; Debian's zlib, which decodes a chunk in one
//     call, refuses only distances before the first byte, as libdeflate does,
//     but a zlib built with INFLATE_STRICT would refuse more;
//   - blocks that are stored and not final, up to a final block that is stored
//     or has dynamic codes, which can be checked from its header alone (the end
//     of a non-final Huffman block is only found by decoding it);
//   - in that dynamic header: at most 286 literal/length and 30 distance codes
//     (libdeflate takes 288 and 32, and decodes the symbols zlib forbids),
//     code-length repeats that stay inside the lengths (libdeflate lets them
//     run over), and precode, literal/length and distance codes that are all
//     complete (libdeflate decodes the unused half of a one-codeword code and
//     an empty distance code, which zlib refuses).
// compress() writes such streams for nearly every chunk; those it codes with
// fixed codes (the smallest) or in several Huffman blocks go to zlib.
// False for anything else, including input that ends inside the headers; the
// caller then decodes with zlib. The header check bits, the adler32 and the
// bytes after the stream are libdeflate's to check, as strictly as zlib does.
bool fast_inflate_agrees(const std::uint8_t* in, std::uint32_t in_length);

} // namespace archive
