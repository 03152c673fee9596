// Test data for the update engine: .xz payloads made with liblzma and compressible text.
#pragma once

#include <string>

// The whole of `data` as one .xz stream with a CRC64 check.
std::string XzCompress(const std::string& data);
// `data` as .xz whose block header declares a dictionary of `dictLog2` bits (12 to 31): it
// decodes as any other, but its decoder asks for that much memory first.
std::string XzDeclaringDictionary(const std::string& data, unsigned dictLog2);
// `size` bytes of varied, compressible text.
std::string TestText(size_t size);
