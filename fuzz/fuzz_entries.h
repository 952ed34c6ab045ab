#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Entry points shared by the libFuzzer targets and the corpus replay test.
// Each runs one input through the code it exercises and checks the rules
// that code promises; the result names the first broken rule, or is empty.
// Memory faults are left to the sanitizers.

// The input is what the port delivered: zero bytes (which the port never
// passes on) end one poll's chunk, and a chunk is at most 1000 bytes. Every
// chunk goes through one poll tick of a single receiver.
std::string FuzzPollTick(const uint8_t* data, size_t size);

// Byte 0 modulo 8 is the number of separator bytes that follow it; the rest
// is the text to split.
std::string FuzzSplitFields(const uint8_t* data, size_t size);

// The input is the whole calibration store. It is read back for a few map
// paths, then a record is written for one of them and must read back as
// written.
std::string FuzzCalibrationStore(const uint8_t* data, size_t size);

// The input is a bitmap file. It is read, and when it loads, decoded whole
// (small pictures only) and in a few windows that reach past its edges.
std::string FuzzDibRead(const uint8_t* data, size_t size);

// The input is a picture file of the kind the entry names. It is decoded
// into memory (pictures of at most 4 million pixels); a decode reported
// done must have put every row, each inside the picture.
std::string FuzzPngDecode(const uint8_t* data, size_t size);
std::string FuzzJpegDecode(const uint8_t* data, size_t size);
std::string FuzzTiffDecode(const uint8_t* data, size_t size);

// The input is a calibration file beside a map: a .map file or a world
// file. What it reads as usable must give a calibration that places a
// 1000 x 800 picture on the globe or be refused as outside it.
std::string FuzzMapDataFile(const uint8_t* data, size_t size);
std::string FuzzWorldFile(const uint8_t* data, size_t size);

// The input is a GPX file. What reads must be on the globe and within the
// reader's limits, and every point, written back as a waypoint, must read
// back as it was; what fails must say so with the file's name and nothing
// read.
std::string FuzzGpxRead(const uint8_t* data, size_t size);
