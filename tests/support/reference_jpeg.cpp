#include "support/reference_jpeg.h"

#include <minizip/zip.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>


extern "C" {
#include <jpeglib.h>
}

namespace {
// libjpeg reports errors through error_exit, which must not return: jump back to the caller.
struct JumpError {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

void jumpBack(j_common_ptr info) { std::longjmp(((JumpError*)info->err)->back, 1); }
}  // namespace

std::vector<uint8_t> referenceJpegEncode(const std::vector<uint8_t>& rgb, int width, int height,
                                         const JpegSettings& s) {
    jpeg_compress_struct info;
    JumpError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jumpBack;
    unsigned char* out = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> grey;
    if (setjmp(error.back)) {
        jpeg_destroy_compress(&info);
        std::free(out);
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = (JDIMENSION)width;
    info.image_height = (JDIMENSION)height;
    info.input_components = s.grey ? 1 : 3;
    info.in_color_space = s.grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, s.quality, s.forceBaseline ? TRUE : FALSE);
    if (!s.grey)
        for (int c = 0; c < 3; c++) {
            info.comp_info[c].h_samp_factor = s.sampling[c][0];
            info.comp_info[c].v_samp_factor = s.sampling[c][1];
        }
    info.restart_in_rows = s.restartRows;
    info.restart_interval = (unsigned)s.restartMcus;
    info.arith_code = s.arithmetic ? TRUE : FALSE;
    info.optimize_coding = s.optimize ? TRUE : FALSE;
    if (s.progressive) jpeg_simple_progression(&info);
    if (s.grey) {
        grey.resize((size_t)width * height);
        for (size_t i = 0; i < grey.size(); i++) grey[i] = rgb[3 * i];
    }
    const std::vector<uint8_t>& samples = s.grey ? grey : rgb;
    const size_t stride = (size_t)width * (s.grey ? 1 : 3);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = (JSAMPROW)(samples.data() + info.next_scanline * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> bytes(out, out + size);
    std::free(out);
    return bytes;
}

bool referenceJpegDecode(const std::vector<uint8_t>& jpeg, int* width, int* height, std::vector<uint8_t>* rgb) {
    jpeg_decompress_struct info;
    JumpError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jumpBack;
    if (setjmp(error.back)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), (unsigned long)jpeg.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&info);
    const int w = (int)info.output_width, h = (int)info.output_height, n = info.output_components;
    std::vector<uint8_t> row((size_t)w * n);
    rgb->assign((size_t)w * h * 3, 0);
    while (info.output_scanline < info.output_height) {
        const size_t y = info.output_scanline;
        JSAMPROW p = row.data();
        jpeg_read_scanlines(&info, &p, 1);
        for (size_t i = 0; i < (size_t)w * 3; i++) (*rgb)[y * w * 3 + i] = row[i / 3 * n + (n == 3 ? i % 3 : 0)];
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    *width = w;
    *height = h;
    return true;
}

bool writeZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    if (!zip) return false;
    bool ok = true;
    for (const ZipEntry& e : entries) {
        zip_fileinfo info = {};
        ok = ok && zipOpenNewFileInZip(zip, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                       e.deflate ? Z_DEFLATED : 0, Z_DEFAULT_COMPRESSION) == ZIP_OK;
        ok = ok && zipWriteInFileInZip(zip, e.bytes.data(), (unsigned)e.bytes.size()) == ZIP_OK;
        ok = ok && zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}
