#include "panorama/JpegDecoder.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "base/RegularFile.h"

namespace {

// The file is read in the pieces libjpeg's stdio source reads, the source
// OpenCV's imread uses: libjpeg-turbo's Huffman decoder takes its fast path,
// which passes over bad codes without a warning, only while enough data is
// buffered, so the same pieces give the same warnings as imread prints (and
// the same pixels, which never depend on the pieces).
constexpr std::size_t kReadChunk = 4096;

// libjpeg's error manager with the jump back into runSession and the text
// of the first error or warning.
struct Failure {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

// A libjpeg data source reading a RegularFile in chunks.
struct Source {
  jpeg_source_mgr manager;
  RegularFile* file;
  std::uint64_t position;  // file offset of the end of the buffered piece
  bool started;            // some bytes were read
  unsigned char* buffer;
};

// One run of libjpeg over a file. Everything that libjpeg's callbacks and
// the jump back touch lives here, in the frame of the function that calls
// runSession, so that the jump skips no destructor.
struct Session {
  explicit Session(RegularFile* file) : buffer(kReadChunk) {
    std::memset(&info, 0, sizeof info);
    std::memset(&failure, 0, sizeof failure);
    std::memset(&source, 0, sizeof source);
    std::memset(&progress, 0, sizeof progress);
    source.file = file;
    source.buffer = buffer.data();
  }
  // Frees libjpeg's memory; also after a failed or never started run (the
  // library does nothing for a structure it has not set up).
  ~Session() { jpeg_destroy_decompress(&info); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  jpeg_decompress_struct info;
  Failure failure;
  Source source;
  jpeg_progress_mgr progress;
  std::vector<unsigned char> buffer;

  // Input: decode the pixels (or stop after the header) within this limit.
  bool decodePixels = false;
  std::uint64_t maxPixels = 0;
  // Output.
  PhotoHeader header;
  bool tooLarge = false;
  cv::Mat image;
  std::vector<JSAMPROW> rows;
  std::vector<unsigned char> cmykRow;
};

Failure* failureOf(j_common_ptr info) { return reinterpret_cast<Failure*>(info->err); }

[[noreturn]] void failWith(j_common_ptr info, const char* format, const char* text) {
  Failure* failure = failureOf(info);
  std::snprintf(failure->message, sizeof failure->message, format, text);
  std::longjmp(failure->jump, 1);
}

// error_exit: keeps libjpeg's text and jumps back (the default would exit).
[[noreturn]] void onError(j_common_ptr info) {
  Failure* failure = failureOf(info);
  (*info->err->format_message)(info, failure->message);
  std::longjmp(failure->jump, 1);
}

// emit_message: level -1 is a warning (corrupt data, premature end, ...),
// which fails the decoding like an error; higher levels are trace messages.
void onMessage(j_common_ptr info, int level) {
  if (level < 0) {
    onError(info);
  }
}

void ignoreOutput(j_common_ptr) {}

// Called by libjpeg while it takes in a multi-scan file.
void onProgress(j_common_ptr info) {
  const auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
  if (decompress->input_scan_number > kMaxJpegScans) {
    Failure* failure = failureOf(info);
    std::snprintf(failure->message, sizeof failure->message, "more than %d scans", kMaxJpegScans);
    std::longjmp(failure->jump, 1);
  }
}

Source* sourceOf(j_decompress_ptr info) { return reinterpret_cast<Source*>(info->src); }

void initSource(j_decompress_ptr) {}

// A read error fails at once; the end of the file fails through libjpeg's
// own messages (an empty file is an error, an early end a warning).
boolean fillBuffer(j_decompress_ptr info) {
  Source* source = sourceOf(info);
  std::size_t count = 0;
  while (count < kReadChunk) {
    const long got = source->file->read(source->buffer + count, kReadChunk - count);
    if (got < 0) {
      failWith(reinterpret_cast<j_common_ptr>(info), "read error: %s", std::strerror(errno));
    }
    if (got == 0) {
      break;
    }
    count += static_cast<std::size_t>(got);
  }
  source->position += count;
  if (count == 0) {
    if (!source->started) {
      ERREXIT(info, JERR_INPUT_EMPTY);
    }
    WARNMS(info, JWRN_JPEG_EOF);
    // Not reached (warnings fail); libjpeg's own answer would be a fake end.
    source->buffer[0] = 0xFF;
    source->buffer[1] = JPEG_EOI;
    source->manager.next_input_byte = source->buffer;
    source->manager.bytes_in_buffer = 2;
    return TRUE;
  }
  source->started = true;
  source->manager.next_input_byte = source->buffer;
  source->manager.bytes_in_buffer = count;
  return TRUE;
}

// Skips marker data the decoder does not need (EXIF blocks, thumbnails),
// seeking over whole pieces, so that later pieces start where the stdio
// source's would.
void skipData(j_decompress_ptr info, long count) {
  if (count <= 0) {
    return;
  }
  Source* source = sourceOf(info);
  const auto wanted = static_cast<std::size_t>(count);
  if (wanted <= source->manager.bytes_in_buffer) {
    source->manager.next_input_byte += wanted;
    source->manager.bytes_in_buffer -= wanted;
    return;
  }
  const std::uint64_t target = source->position + (wanted - source->manager.bytes_in_buffer);
  source->manager.bytes_in_buffer = 0;
  const std::uint64_t pieceStart = target - target % kReadChunk;
  if (pieceStart > source->position) {
    if (!source->file->skip(pieceStart - source->position)) {
      failWith(reinterpret_cast<j_common_ptr>(info), "read error: %s", std::strerror(errno));
    }
    source->position = pieceStart;
  }
  std::uint64_t rest = target - source->position;
  while (rest > 0) {
    fillBuffer(info);  // fails at the end of the file
    const std::size_t taken =
        rest < source->manager.bytes_in_buffer ? static_cast<std::size_t>(rest) : source->manager.bytes_in_buffer;
    source->manager.next_input_byte += taken;
    source->manager.bytes_in_buffer -= taken;
    rest -= taken;
  }
}

void termSource(j_decompress_ptr) {}

void connect(Session* session) {
  jpeg_error_mgr* manager = jpeg_std_error(&session->failure.manager);
  manager->error_exit = onError;
  manager->emit_message = onMessage;
  manager->output_message = ignoreOutput;
  session->info.err = manager;

  jpeg_source_mgr& source = session->source.manager;
  source.init_source = initSource;
  source.fill_input_buffer = fillBuffer;
  source.skip_input_data = skipData;
  source.resync_to_restart = jpeg_resync_to_restart;
  source.term_source = termSource;
  source.bytes_in_buffer = 0;
  source.next_input_byte = nullptr;

  session->progress.progress_monitor = onProgress;
}

// OpenCV's conversion of one row of (Adobe) CMYK samples to BGR.
void cmykRowToBgr(const unsigned char* cmyk, unsigned char* bgr, JDIMENSION width) {
  for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    const int k = cmyk[3];
    bgr[2] = static_cast<unsigned char>(k - ((255 - cmyk[0]) * k >> 8));
    bgr[1] = static_cast<unsigned char>(k - ((255 - cmyk[1]) * k >> 8));
    bgr[0] = static_cast<unsigned char>(k - ((255 - cmyk[2]) * k >> 8));
  }
}

// Reads the remaining rows into session->image. False when libjpeg returns
// no row (only a suspending source could make it; ours never suspends).
bool readRows(Session* session) {
  jpeg_decompress_struct& info = session->info;
  const JDIMENSION height = info.output_height;
  if (info.out_color_space == JCS_CMYK) {
    session->cmykRow.resize(static_cast<std::size_t>(info.output_width) * 4);
    JSAMPROW row = session->cmykRow.data();
    while (info.output_scanline < height) {
      const JDIMENSION y = info.output_scanline;
      if (jpeg_read_scanlines(&info, &row, 1) != 1) {
        return false;
      }
      cmykRowToBgr(row, session->image.ptr<unsigned char>(static_cast<int>(y)), info.output_width);
    }
    return true;
  }
  // Straight into the image rows, as many per call as libjpeg gives.
  session->rows.resize(height);
  for (JDIMENSION y = 0; y < height; ++y) {
    session->rows[y] = session->image.ptr<unsigned char>(static_cast<int>(y));
  }
  while (info.output_scanline < height) {
    const JDIMENSION done = info.output_scanline;
    if (jpeg_read_scanlines(&info, session->rows.data() + done, height - done) == 0) {
      return false;
    }
  }
  return true;
}

// Runs libjpeg over the file: the header, and unless only the header is
// wanted, the whole image up to the end marker. False when libjpeg failed
// (the text is in session->failure.message) or the image is too large
// (session->tooLarge). Holds the only setjmp; this frame has no object with
// a destructor, and nothing it changes after setjmp is read after the jump.
// An allocation failure of the image throws.
bool runSession(Session* session) {
  if (setjmp(session->failure.jump) != 0) {
    return false;
  }
  connect(session);
  jpeg_create_decompress(&session->info);
  jpeg_decompress_struct& info = session->info;
  info.src = &session->source.manager;
  info.progress = &session->progress;
  jpeg_read_header(&info, TRUE);
  session->header.format = PhotoFormat::kJpeg;
  session->header.width = static_cast<int>(info.image_width);
  session->header.height = static_cast<int>(info.image_height);
  session->header.components = info.num_components;
  if (!session->decodePixels) {
    return true;
  }
  const std::uint64_t pixels = static_cast<std::uint64_t>(info.image_width) * info.image_height;
  if (pixels > session->maxPixels) {
    session->tooLarge = true;
    return false;
  }
  info.out_color_space = info.num_components == 4 ? JCS_CMYK : JCS_EXT_BGR;
  info.dct_method = JDCT_ISLOW;
  info.do_fancy_upsampling = TRUE;
  jpeg_start_decompress(&info);
  if (info.output_width != info.image_width || info.output_height != info.image_height) {
    failWith(reinterpret_cast<j_common_ptr>(&info), "%s", "unexpected output size");
  }
  session->image.create(static_cast<int>(info.output_height), static_cast<int>(info.output_width),
                        CV_8UC3);
  if (!readRows(session)) {
    failWith(reinterpret_cast<j_common_ptr>(&info), "%s", "decoder returned no rows");
  }
  jpeg_finish_decompress(&info);
  return true;
}

}  // namespace

bool readJpegHeader(RegularFile* file, PhotoHeader* header, std::string* reason) {
  Session session(file);
  if (!runSession(&session)) {
    *reason = session.failure.message;
    return false;
  }
  *header = session.header;
  return true;
}

bool decodeJpeg(RegularFile* file, std::uint64_t maxPixels, cv::Mat* out, std::string* reason) {
  Session session(file);
  session.decodePixels = true;
  session.maxPixels = maxPixels;
  bool decoded = false;
  bool outOfMemory = false;
  try {
    decoded = runSession(&session);
  } catch (const std::exception&) {
    outOfMemory = true;
  }
  if (decoded) {
    *out = session.image;
    return true;
  }
  if (outOfMemory) {
    *reason = "not enough memory for the image";
  } else if (session.tooLarge) {
    photoWithinLimit(session.header.width, session.header.height, maxPixels, reason);
  } else {
    *reason = session.failure.message;
  }
  out->release();
  return false;
}
