#include "pdf_images.hpp"

#include <hpdf_doc.h>
#include <hpdf_objects.h>
#include <hpdf_streams.h>
#include <stb_image.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <string_view>

#include "helmkit/base/error.hpp"
#include "helmkit/files/file_mg.hpp"
#include "image_formats.hpp"

namespace torvane::figdeck {

namespace {

struct StbiFree {
    void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

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

// Image data that a stream owns: libharu reads it straight from here when it saves the
// document, instead of copying it into its own buffers byte by byte first.
struct OwnedData {
    std::string bytes;
    std::size_t position = 0;
};

OwnedData& owned(HPDF_Stream stream) { return *static_cast<OwnedData*>(stream->attr); }

HPDF_STATUS read_owned(HPDF_Stream stream, HPDF_BYTE* out, HPDF_UINT* size) {
    auto& data = owned(stream);
    const std::size_t count = std::min<std::size_t>(*size, data.bytes.size() - data.position);
    std::memcpy(out, data.bytes.data() + data.position, count);
    data.position += count;
    const bool short_read = count < *size;
    *size = static_cast<HPDF_UINT>(count);
    return short_read ? HPDF_STREAM_EOF : HPDF_OK;
}

HPDF_STATUS seek_owned(HPDF_Stream stream, HPDF_INT offset, HPDF_WhenceMode mode) {
    auto& data = owned(stream);
    const auto base = mode == HPDF_SEEK_SET   ? 0
                      : mode == HPDF_SEEK_CUR ? static_cast<long long>(data.position)
                                              : static_cast<long long>(data.bytes.size());
    const long long target = base + offset;
    if (target < 0 || target > static_cast<long long>(data.bytes.size())) {
        return HPDF_STREAM_EOF;
    }
    data.position = static_cast<std::size_t>(target);
    return HPDF_OK;
}

HPDF_INT32 tell_owned(HPDF_Stream stream) { return static_cast<HPDF_INT32>(owned(stream).position); }

HPDF_UINT32 size_owned(HPDF_Stream stream) {
    return static_cast<HPDF_UINT32>(owned(stream).bytes.size());
}

void free_owned(HPDF_Stream stream) { delete static_cast<OwnedData*>(stream->attr); }

// Gives `image` the stream data `data`, replacing the empty buffer libharu made for it.
void attach_data(HpdfDocument& doc, HPDF_Dict image, std::string data) {
    if (data.size() > std::numeric_limits<HPDF_INT32>::max()) {
        throw helmkit::Error("image data of 2 GiB or more");
    }
    HPDF_MMgr mmgr = doc.get()->mmgr;
    auto* stream = static_cast<HPDF_Stream>(HPDF_GetMem(mmgr, sizeof(HPDF_Stream_Rec)));
    doc.check("cannot store the image data");
    std::memset(stream, 0, sizeof(HPDF_Stream_Rec));
    stream->sig_bytes = HPDF_STREAM_SIG_BYTES;
    stream->type = HPDF_STREAM_CALLBACK;
    stream->mmgr = mmgr;
    stream->error = mmgr->error;
    stream->read_fn = read_owned;
    stream->seek_fn = seek_owned;
    stream->tell_fn = tell_owned;
    stream->size_fn = size_owned;
    stream->free_fn = free_owned;
    stream->attr = new OwnedData{std::move(data), 0};
    HPDF_Stream_Free(std::exchange(image->stream, stream));
}

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

HPDF_Image PdfImages::embed(const std::filesystem::path& path) {
    std::error_code error;
    auto key = std::filesystem::weakly_canonical(path, error);
    if (error) key = path.lexically_normal();
    const auto found = m_embedded.find(key.string());
    if (found != m_embedded.end()) return found->second;
    try {
        const auto image = embed_file(helmkit::fileMg::read_file(path));
        m_doc.check("cannot create the image object");
        m_embedded.emplace(key.string(), image);
        return image;
    } catch (const helmkit::Error& failure) {
        throw helmkit::Error("cannot embed the image '" + path.string() + "': " + failure.what());
    }
}

HPDF_Image PdfImages::embed_file(std::string data) {
    switch (format_of(data)) {
    case Format::jpeg: return embed_jpeg(std::move(data));
    case Format::png: return embed_png(data);
    case Format::bmp: return embed_decoded(data, 0);
    case Format::unknown: break;
    }
    throw helmkit::Error("not a PNG, JPEG or BMP image");
}

HPDF_Image PdfImages::embed_jpeg(std::string data) {
    const auto header = read_jpeg_header(data);
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
    attach_data(m_doc, image, std::move(data));
    return image;
}

HPDF_Image PdfImages::embed_png(const std::string& data) {
    auto png = read_png(data);
    if (!png.embeds_directly()) {
        const bool alpha = png.color_type == 4 || png.color_type == 6 || png.transparency;
        const bool grey = png.color_type == 0 || png.color_type == 4;
        return embed_decoded(data, (grey ? 1 : 3) + (alpha ? 1 : 0));
    }
    check_png_rows(png);
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
    attach_data(m_doc, image, std::move(png.image_data));
    return image;
}

HPDF_Image PdfImages::embed_decoded(const std::string& data, int wanted_channels) {
    int width = 0;
    int height = 0;
    int file_channels = 0;
    std::unique_ptr<stbi_uc, StbiFree> pixels(stbi_load_from_memory(
        reinterpret_cast<const stbi_uc*>(data.data()), static_cast<int>(data.size()), &width,
        &height, &file_channels, wanted_channels));
    if (!pixels) throw helmkit::Error(std::string("cannot decode it: ") + stbi_failure_reason());
    const int channels = wanted_channels != 0 ? wanted_channels : file_channels;
    const bool has_alpha = channels == 2 || channels == 4;
    const int colour_channels = has_alpha ? channels - 1 : channels;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);

    std::string colour;
    std::string alpha;
    if (has_alpha) {
        colour.resize(count * colour_channels);
        alpha.resize(count);
        const stbi_uc* in = pixels.get();
        char* out = colour.data();
        bool opaque = true;
        for (std::size_t i = 0; i < count; ++i) {
            for (int c = 0; c < colour_channels; ++c) *out++ = static_cast<char>(*in++);
            opaque = opaque && *in == 255;
            alpha[i] = static_cast<char>(*in++);
        }
        if (opaque) alpha.clear();
    } else {
        colour.assign(reinterpret_cast<const char*>(pixels.get()), count * colour_channels);
    }
    pixels.reset();

    HPDF_Dict image = new_image(m_doc, static_cast<std::uint32_t>(width),
                                static_cast<std::uint32_t>(height), 8, Filter::flate);
    HPDF_Dict_AddName(image, "ColorSpace", device_space(colour_channels));
    attach_data(m_doc, image, deflate_bytes(colour));
    if (!alpha.empty()) {
        HPDF_Dict mask = new_image(m_doc, static_cast<std::uint32_t>(width),
                                   static_cast<std::uint32_t>(height), 8, Filter::flate);
        HPDF_Dict_AddName(mask, "ColorSpace", "DeviceGray");
        attach_data(m_doc, mask, deflate_bytes(alpha));
        HPDF_Dict_Add(image, "SMask", mask);
    }
    return image;
}

}  // namespace torvane::figdeck
