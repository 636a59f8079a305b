#include "pdf_images.hpp"

#include <hpdf_doc.h>
#include <hpdf_objects.h>
#include <hpdf_streams.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <string_view>

#include "helmkit/base/error.hpp"
#include "image_formats.hpp"

namespace torvane::figdeck {

namespace {

// libharu writes the filter of a stream only when it applies that filter itself; for data
// that is compressed already the name is written by the dictionary's own write hook.
HPDF_STATUS write_flate_filter(HPDF_Dict, HPDF_Stream stream) {
    return HPDF_Stream_WriteStr(stream, "/Filter /FlateDecode\012");
}

HPDF_STATUS write_dct_filter(HPDF_Dict, HPDF_Stream stream) {
    return HPDF_Stream_WriteStr(stream, "/Filter /DCTDecode\012");
}

enum class Filter { flate, dct };

// A new image object whose stream receives data that is compressed already.
HPDF_Dict new_image(HpdfDocument& doc, std::uint32_t width, std::uint32_t height, int bits,
                    Filter filter) {
    HPDF_Doc pdf = doc.get();
    HPDF_Dict image = HPDF_DictStream_New(pdf->mmgr, pdf->xref);
    doc.check("cannot create an image object");
    image->header.obj_class |= HPDF_OSUBCLASS_XOBJECT;
    image->filter = HPDF_STREAM_FILTER_NONE;
    image->write_fn = filter == Filter::flate ? write_flate_filter : write_dct_filter;
    HPDF_Dict_AddName(image, "Type", "XObject");
    HPDF_Dict_AddName(image, "Subtype", "Image");
    HPDF_Dict_AddNumber(image, "Width", static_cast<HPDF_INT32>(width));
    HPDF_Dict_AddNumber(image, "Height", static_cast<HPDF_INT32>(height));
    HPDF_Dict_AddNumber(image, "BitsPerComponent", bits);
    return image;
}

// A stream whose bytes a StreamSource makes while libharu saves the document. An exception
// must not cross libharu's C frames: the first one is kept for after the save.
struct SourcedData {
    std::unique_ptr<StreamSource> source;
    std::filesystem::path path;
    std::exception_ptr* failure;
};

SourcedData& sourced(HPDF_Stream stream) { return *static_cast<SourcedData*>(stream->attr); }

HPDF_STATUS read_sourced(HPDF_Stream stream, HPDF_BYTE* out, HPDF_UINT* size) {
    auto& data = sourced(stream);
    try {
        const std::size_t count = data.source->read(out, *size);
        const bool short_read = count < *size;
        *size = static_cast<HPDF_UINT>(count);
        return short_read ? HPDF_STREAM_EOF : HPDF_OK;
    } catch (const std::exception& failure) {
        if (!*data.failure) {
            *data.failure = std::make_exception_ptr(helmkit::Error(
                "cannot embed the image '" + data.path.string() + "': " + failure.what()));
        }
        *size = 0;
        return HPDF_FILE_IO_ERROR;
    }
}

// libharu rewinds a stream before it copies it, and asks its size only to skip empty ones.
HPDF_STATUS seek_sourced(HPDF_Stream stream, HPDF_INT offset, HPDF_WhenceMode mode) {
    if (offset != 0 || mode != HPDF_SEEK_SET) return HPDF_STREAM_EOF;
    sourced(stream).source->rewind();
    return HPDF_OK;
}

HPDF_INT32 tell_sourced(HPDF_Stream) { return 0; }

HPDF_UINT32 size_sourced(HPDF_Stream) { return 1; }

void free_sourced(HPDF_Stream stream) { delete static_cast<SourcedData*>(stream->attr); }

const char* device_space(int colour_channels) {
    switch (colour_channels) {
    case 1: return "DeviceGray";
    case 4: return "DeviceCMYK";
    default: return "DeviceRGB";
    }
}

enum class Format { png, jpeg, bmp, unknown };

Format format_of(std::string_view data) {
    if (data.substr(0, 8) == std::string_view("\x89PNG\r\n\x1a\n", 8)) return Format::png;
    if (data.size() >= 3 && data.substr(0, 3) == "\xFF\xD8\xFF") return Format::jpeg;
    if (data.substr(0, 2) == "BM") return Format::bmp;
    return Format::unknown;
}

}  // namespace

// An image file as it was checked: its bytes (held only while it is checked) and its stamp.
struct PdfImages::Checked {
    std::filesystem::path path;
    FileStamp stamp;
    std::string data;
};

void PdfImages::attach(HPDF_Dict image, const std::filesystem::path& path,
                       std::unique_ptr<StreamSource> source) {
    HPDF_MMgr mmgr = m_doc.get()->mmgr;
    auto* stream = static_cast<HPDF_Stream>(HPDF_GetMem(mmgr, sizeof(HPDF_Stream_Rec)));
    m_doc.check("cannot store the image data");
    std::memset(stream, 0, sizeof(HPDF_Stream_Rec));
    stream->sig_bytes = HPDF_STREAM_SIG_BYTES;
    stream->type = HPDF_STREAM_CALLBACK;
    stream->mmgr = mmgr;
    stream->error = mmgr->error;
    stream->read_fn = read_sourced;
    stream->seek_fn = seek_sourced;
    stream->tell_fn = tell_sourced;
    stream->size_fn = size_sourced;
    stream->free_fn = free_sourced;
    stream->attr = new SourcedData{std::move(source), path, &m_write_failure};
    HPDF_Stream_Free(std::exchange(image->stream, stream));
}

void PdfImages::rethrow_write_failure() {
    if (m_write_failure) std::rethrow_exception(std::exchange(m_write_failure, nullptr));
}

HPDF_Image PdfImages::embed(const std::filesystem::path& path) {
    std::error_code error;
    auto key = std::filesystem::weakly_canonical(path, error);
    if (error) key = path.lexically_normal();
    const auto found = m_embedded.find(key.string());
    if (found != m_embedded.end()) return found->second;
    try {
        Checked file{path, {}, {}};
        {
            SourceFile source(path);
            file.stamp = source.stamp();
            file.data = source.read_all();
        }
        const auto image = embed_file(file);
        m_doc.check("cannot create the image object");
        m_embedded.emplace(key.string(), image);
        return image;
    } catch (const helmkit::Error& failure) {
        throw helmkit::Error("cannot embed the image '" + path.string() + "': " + failure.what());
    }
}

HPDF_Image PdfImages::embed_file(const Checked& file) {
    switch (format_of(file.data)) {
    case Format::jpeg: return embed_jpeg(file);
    case Format::png: return embed_png(file);
    case Format::bmp: return embed_decoded(file, ImageKind::bmp, 0);
    case Format::unknown: break;
    }
    throw helmkit::Error("not a PNG, JPEG or BMP image");
}

HPDF_Image PdfImages::embed_jpeg(const Checked& file) {
    const auto header = read_jpeg_header(file.data);
    HPDF_Dict image = new_image(m_doc, header.width, header.height, 8, Filter::dct);
    HPDF_Dict_AddName(image, "ColorSpace", device_space(header.components));
    if (header.components == 4 && header.adobe) {
        HPDF_Array decode = HPDF_Array_New(m_doc.get()->mmgr);
        for (int i = 0; i < 4; ++i) {
            HPDF_Array_AddNumber(decode, 1);
            HPDF_Array_AddNumber(decode, 0);
        }
        HPDF_Dict_Add(image, "Decode", decode);
    }
    attach(image, file.path, file_ranges(file.path, file.stamp, {{0, file.data.size()}}));
    return image;
}

HPDF_Image PdfImages::embed_png(const Checked& file) {
    auto png = read_png(file.data);
    if (!png.embeds_directly()) {
        const bool alpha = png.color_type == 4 || png.color_type == 6 || png.transparency;
        const bool grey = png.color_type == 0 || png.color_type == 4;
        return embed_decoded(file, ImageKind::png, (grey ? 1 : 3) + (alpha ? 1 : 0));
    }
    check_png_rows(png, file.data);
    HPDF_Dict image = new_image(m_doc, png.width, png.height, png.bit_depth, Filter::flate);
    HPDF_MMgr mmgr = m_doc.get()->mmgr;
    if (png.color_type == 3) {
        HPDF_Array space = HPDF_Array_New(mmgr);
        HPDF_Array_AddName(space, "Indexed");
        HPDF_Array_AddName(space, "DeviceRGB");
        HPDF_Array_AddNumber(space, static_cast<HPDF_INT32>(png.palette.size() / 3 - 1));
        HPDF_Array_Add(space, HPDF_Binary_New(mmgr,
                                              reinterpret_cast<HPDF_BYTE*>(
                                                  const_cast<char*>(png.palette.data())),
                                              static_cast<HPDF_UINT>(png.palette.size())));
        HPDF_Dict_Add(image, "ColorSpace", space);
    } else {
        HPDF_Dict_AddName(image, "ColorSpace", device_space(png.channels()));
    }
    HPDF_Dict parameters = HPDF_Dict_New(mmgr);
    HPDF_Dict_Add(image, "DecodeParms", parameters);
    HPDF_Dict_AddNumber(parameters, "Predictor", 15);
    HPDF_Dict_AddNumber(parameters, "Colors", png.channels());
    HPDF_Dict_AddNumber(parameters, "BitsPerComponent", png.bit_depth);
    HPDF_Dict_AddNumber(parameters, "Columns", static_cast<HPDF_INT32>(png.width));
    attach(image, file.path, file_ranges(file.path, file.stamp, std::move(png.image_data)));
    return image;
}

HPDF_Image PdfImages::embed_decoded(const Checked& file, ImageKind kind, int wanted_channels) {
    // Decoded once now to check the pixels and whether any is not opaque; the PDF's bytes are
    // made by decoding the file again while it is written.
    const auto rows = decode_pixels(kind, file.data, wanted_channels);
    const int channels = rows->channels;
    const bool has_alpha = channels == 2 || channels == 4;
    const int colour_channels = has_alpha ? channels - 1 : channels;
    bool opaque = true;
    std::vector<unsigned char> row(static_cast<std::size_t>(rows->width) * static_cast<std::size_t>(channels));
    while (rows->next_row(row.data())) {
        if (!has_alpha || !opaque) continue;
        for (std::size_t i = static_cast<std::size_t>(channels) - 1; i < row.size(); i += static_cast<std::size_t>(channels)) {
            if (row[i] != 255) {
                opaque = false;
                break;
            }
        }
    }
    const std::uint32_t width = rows->width;
    const std::uint32_t height = rows->height;

    HPDF_Dict image = new_image(m_doc, width, height, 8, Filter::flate);
    HPDF_Dict_AddName(image, "ColorSpace", device_space(colour_channels));
    attach(image, file.path, decoded_plane(file.path, file.stamp, kind, channels, Plane::colour));
    if (has_alpha && !opaque) {
        HPDF_Dict mask = new_image(m_doc, width, height, 8, Filter::flate);
        HPDF_Dict_AddName(mask, "ColorSpace", "DeviceGray");
        attach(mask, file.path, decoded_plane(file.path, file.stamp, kind, channels, Plane::alpha));
        HPDF_Dict_Add(image, "SMask", mask);
    }
    return image;
}

}  // namespace torvane::figdeck
