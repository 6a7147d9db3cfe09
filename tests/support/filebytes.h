/*
 * Helpers that the tests, benchmarks and fuzzers share: whole files as bytes,
 * and a member stream through the installer's decoder.
 */
#ifndef YELK_TESTS_SUPPORT_FILEBYTES_H
#define YELK_TESTS_SUPPORT_FILEBYTES_H

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

/* The whole file at path; empty when it cannot be read. */
Bytes ReadFileBytes(const std::string &path);

/* Writes bytes as the whole file at path; false when that fails. */
bool WriteFileBytes(const std::string &path, const Bytes &bytes);

/* LzhDecode over temporary files: what reached the output in *out, and
   whether LzhDecode reported success. */
bool DecodeStream(const Bytes &stream, Bytes *out);

}  // namespace testsupport

#endif
