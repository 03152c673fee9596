// Test data for the update engine: .xz payloads made with liblzma and compressible text.
#pragma once

#include <string>

// The whole of `data` as one .xz stream with a CRC64 check.
std::string XzCompress(const std::string& data);
// `size` bytes of varied, compressible text.
std::string TestText(size_t size);
