// Converting an image file to a JPEG that the engine's decoder reads. The image library (DevIL)
// decodes untrusted bytes, so it runs only in a child process, the converter: the program named by
// the converter setting, run as "PROGRAM convert-image IN OUT" (vcvtool's subcommand). The child
// probes the file again, limits its own CPU time by the picture's size (and its address space,
// except in sanitizer builds, whose shadow memory needs the whole address space), decodes, and
// writes OUT; the parent waits
// with a wall-clock limit, kills a child that overruns it, and accepts OUT only when the child
// exited with 0 and OUT is a JPEG of the probed size that our decoder accepts. Whatever the child
// does, a failed conversion leaves no OUT behind.
#pragma once
#include <cstdint>

#include "import/image_probe.h"

// Address space of the converter: the largest picture, 16-bit RGBA, with its 8-bit copy and the
// file, fits well within it.
constexpr int64_t IMAGE_CONVERT_ADDRESS_SPACE = (int64_t)2 << 30;
// CPU seconds the converter may spend on a picture: 2, plus 1 per 4 megapixels begun (18 for
// 8192 x 8192, about ten times what that takes here), so that a picture that makes the image
// library spin costs seconds, not minutes. The parent waits twice that plus one second.
int32_t imageConvertCpuSeconds(const ImageProbe* probe);

// Exit status of the converter: 0 OUT written; 1 IN is not an image it converts (refused by the
// probe, or the image library cannot read it); 2 wrong arguments; IMAGE_CONVERT_EXIT_WRITE +
// the system's error number (at most 127) when OUT cannot be written.
enum : int32_t { IMAGE_CONVERT_EXIT_OK = 0, IMAGE_CONVERT_EXIT_REFUSED = 1, IMAGE_CONVERT_EXIT_USAGE = 2,
                 IMAGE_CONVERT_EXIT_WRITE = 64 };

// Outcome of a conversion in the parent.
enum : int32_t {
    IMAGE_CONVERT_OK = 0,
    IMAGE_CONVERT_REFUSED = -1,       // not converted: unreadable image, crash, overrun, bad output
    IMAGE_CONVERT_NOT_STARTED = -2,   // the converter program cannot be started (error: why)
    IMAGE_CONVERT_WRITE_FAILED = -3   // OUT cannot be written (error: why)
};

// The converter setting. An empty path (the default) means vcvtool beside the running program, or
// in ../tools/ from it (the build tree's layout). The path is used as given (no PATH search).
void imageConverterSetProgram(const char* path);
// The program that will be run (the default resolved).
const char* imageConverterProgram();
// Wall-clock limit of every conversion in milliseconds; 0 (the default) derives it from the picture.
void imageConverterSetTimeLimit(int32_t milliseconds);

// Parent side: converts inPath to outPath in the converter and checks the result against the
// probe of the source (same width and height). IMAGE_CONVERT_*, with *error the system's error
// number for NOT_STARTED and WRITE_FAILED (else 0).
int32_t imageConvertIsolated(const char* inPath, const char* outPath, const ImageProbe* probe, int32_t* error);

// Child side, on memory: probes the bytes, decodes them with the image library and encodes a
// baseline JPEG (quality 96, JFIF; grey stays grey, everything else becomes RGB, alpha is dropped,
// CMYK and YCCK JPEGs become RGB as libjpeg-turbo converts them) into a new memAlloc'd buffer.
// 0 with *jpeg and *jpegSize, or -1 (nothing allocated). The library's own leaks on broken files
// are not counted by the leak checker: the child ends right after.
int32_t imageConvertBytes(const uint8_t* data, int64_t size, uint8_t** jpeg, int32_t* jpegSize);
// The converter's work: reads inPath (a regular file of at most IMAGE_MAX_FILE_BYTES), probes it,
// limits the process (CPU time for that picture, address space), converts and writes outPath.
// Returns the exit status above.
int32_t imageConvertCommand(const char* inPath, const char* outPath);
