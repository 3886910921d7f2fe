/* Links libpng, libjpeg-turbo and zlib into a program built like the launcher, so that the
 * Windows builds prove the static libraries link, and check-pe.sh sees what they import.
 * Run (under Wine for x86_64) it round-trips a small picture through each library and
 * exits 0 only if every round trip gives the picture back. */
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

enum { W = 16, H = 16 };

static void fill(unsigned char *p, int channels) {
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      for (int c = 0; c < channels; ++c)
        p[(y * W + x) * channels + c] = (unsigned char)(x * 16 + y * 4 + c * 32);
}

static int zlib_round_trip(void) {
  unsigned char in[W * H * 3], packed[1024], out[sizeof in];
  uLongf packed_size = sizeof packed, out_size = sizeof out;
  fill(in, 3);
  if (compress(packed, &packed_size, in, sizeof in) != Z_OK) return 0;
  if (uncompress(out, &out_size, packed, packed_size) != Z_OK) return 0;
  return out_size == sizeof in && memcmp(in, out, sizeof in) == 0;
}

static int png_round_trip(void) {
  unsigned char in[W * H * 4], out[sizeof in], file[4096];
  png_alloc_size_t file_size = sizeof file;
  png_image image;
  fill(in, 4);
  memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = W;
  image.height = H;
  image.format = PNG_FORMAT_RGBA;
  if (!png_image_write_to_memory(&image, file, &file_size, 0, in, 0, NULL)) return 0;
  png_image_free(&image);
  memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file, file_size)) return 0;
  image.format = PNG_FORMAT_RGBA;
  if (image.width != W || image.height != H ||
      !png_image_finish_read(&image, NULL, out, 0, NULL)) {
    png_image_free(&image);
    return 0;
  }
  return memcmp(in, out, sizeof in) == 0;
}

struct jpeg_failure {
  struct jpeg_error_mgr mgr;
  jmp_buf back;
};

static void jpeg_fail(j_common_ptr info) {
  longjmp(((struct jpeg_failure *)info->err)->back, 1);
}

/* Compresses at quality 100 and decompresses through libjpeg-turbo's SIMD paths where the
 * processor has them; a lossy round trip (no chroma subsampling), so pixels may differ by a few levels. */
static int jpeg_round_trip(void) {
  static unsigned char in[W * H * 3], out[W * H * 3];
  struct jpeg_compress_struct enc;
  struct jpeg_decompress_struct dec;
  struct jpeg_failure failure;
  unsigned char *file = NULL;
  unsigned long file_size = 0;
  volatile int ok = 0;
  fill(in, 3);
  enc.err = jpeg_std_error(&failure.mgr);
  dec.err = enc.err;
  failure.mgr.error_exit = jpeg_fail;
  jpeg_create_compress(&enc);
  jpeg_create_decompress(&dec);
  if (setjmp(failure.back) == 0) {
    jpeg_mem_dest(&enc, &file, &file_size);
    enc.image_width = W;
    enc.image_height = H;
    enc.input_components = 3;
    enc.in_color_space = JCS_RGB;
    jpeg_set_defaults(&enc);
    jpeg_set_quality(&enc, 100, TRUE);
    enc.comp_info[0].h_samp_factor = enc.comp_info[0].v_samp_factor = 1; /* 4:4:4 */
    jpeg_start_compress(&enc, TRUE);
    while (enc.next_scanline < H) {
      JSAMPROW row = in + enc.next_scanline * W * 3;
      jpeg_write_scanlines(&enc, &row, 1);
    }
    jpeg_finish_compress(&enc);

    jpeg_mem_src(&dec, file, file_size);
    jpeg_read_header(&dec, TRUE);
    dec.out_color_space = JCS_RGB;
    jpeg_start_decompress(&dec);
    if (dec.output_width == W && dec.output_height == H && dec.output_components == 3) {
      while (dec.output_scanline < H) {
        JSAMPROW row = out + dec.output_scanline * W * 3;
        jpeg_read_scanlines(&dec, &row, 1);
      }
      jpeg_finish_decompress(&dec);
      ok = 1;
      for (int i = 0; i < W * H * 3; ++i)
        if (abs(in[i] - out[i]) > 4) ok = 0;
    }
  }
  jpeg_destroy_compress(&enc);
  jpeg_destroy_decompress(&dec);
  free(file);
  return ok;
}

int main(void) {
  struct jpeg_error_mgr err;
  int failures = 0;
  printf("libpng %lu (headers %d), zlib %s (headers %s), libjpeg API %d\n",
         (unsigned long)png_access_version_number(), PNG_LIBPNG_VER, zlibVersion(),
         ZLIB_VERSION, JPEG_LIB_VERSION);
  if (png_access_version_number() != PNG_LIBPNG_VER) failures |= 1;
  if (strcmp(zlibVersion(), ZLIB_VERSION) != 0) failures |= 2;
  if (jpeg_std_error(&err) != &err || err.error_exit == NULL) failures |= 4;
  if (!zlib_round_trip()) failures |= 8;
  if (!png_round_trip()) failures |= 16;
  if (!jpeg_round_trip()) failures |= 32;
  printf(failures ? "FAILED (mask %d)\n" : "all round trips ok\n", failures);
  return failures ? 1 : 0;
}
