// The companion's page images, drawn in memory and encoded by WIC.
#include "page_image.h"

#include "support/hresult.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <cstring>
#include <vector>

namespace companion
{

namespace
{

using Microsoft::WRL::ComPtr;

// A small deterministic generator: every run draws the same pages.
class Noise
{
public:
    explicit Noise(unsigned seed) : state_(seed * 2654435761u + 1) {}
    unsigned Next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    int Between(int low, int high) { return low + static_cast<int>(Next() % static_cast<unsigned>(high - low + 1)); }

private:
    unsigned state_;
};

struct Canvas
{
    int width, height, stride;
    std::vector<BYTE> pixels; // 24-bit BGR, top-down

    void Darken(int x, int y, int ink)
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return;
        BYTE* p = &pixels[static_cast<size_t>(y) * stride + x * 3];
        for (int c = 0; c < 3; ++c)
            p[c] = static_cast<BYTE>(p[c] * (255 - ink) / 255);
    }
    void Fill(int x0, int y0, int w, int h, int ink)
    {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x)
                Darken(x, y, ink);
    }
};

// A line of words: marks of letter height with gaps, some letters taller.
void TextLine(Canvas& page, Noise& noise, int x, int y, int width, int size, int ink)
{
    int at = x;
    while (at < x + width)
    {
        const int word = noise.Between(2, 9) * size * 6 / 10;
        if (at + word > x + width)
            break;
        for (int letter = at; letter < at + word; letter += size * 6 / 10)
        {
            const int tall = noise.Between(0, 3) == 0 ? size / 3 : 0;
            page.Fill(letter, y - tall, size / 2, size * 6 / 10 + tall, ink - noise.Between(0, 40));
        }
        at += word + size / 2;
    }
}

void Draw(Canvas& page, int number, int dpi)
{
    Noise noise(static_cast<unsigned>(number));
    const int margin = dpi * 8 / 10;
    const int text = dpi / 9 > 3 ? dpi / 9 : 3;
    // Paper: warm off-white with grain, a shadow along the binding edge.
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x)
        {
            BYTE* p = &page.pixels[static_cast<size_t>(y) * page.stride + x * 3];
            const int grain = noise.Between(-6, 6);
            const int shade = x < dpi / 4 ? (dpi / 4 - x) * 60 / (dpi / 4) : 0;
            p[0] = static_cast<BYTE>(236 + grain - shade);
            p[1] = static_cast<BYTE>(242 + grain - shade);
            p[2] = static_cast<BYTE>(245 + grain - shade);
        }
    int y = margin;
    page.Fill(margin, y, page.width - 2 * margin, text / 2, 200); // letterhead rule
    y += text * 2;
    TextLine(page, noise, margin, y, (page.width - 2 * margin) / 2, text * 2, 230); // title
    y += text * 4;
    while (y < page.height - margin - text * 4)
    {
        const int lines = noise.Between(3, 7);
        for (int i = 0; i < lines && y < page.height - margin - text * 4; ++i, y += text * 2)
        {
            const int indent = i == 0 ? text * 3 : 0;
            const int width = i == lines - 1 ? (page.width - 2 * margin) * noise.Between(30, 80) / 100
                                             : page.width - 2 * margin - indent;
            TextLine(page, noise, margin + indent, y, width, text, 215);
        }
        y += text * 2;
    }
    // The page number, centred in the foot.
    for (int i = 0; i < number && i < 12; ++i)
        page.Fill(page.width / 2 - number * text / 2 + i * text, page.height - margin / 2, text / 2, text, 220);
}

const GUID* ContainerFor(const char* format)
{
    if (std::strcmp(format, "png") == 0)
        return &GUID_ContainerFormatPng;
    if (std::strcmp(format, "jpg") == 0)
        return &GUID_ContainerFormatJpeg;
    if (std::strcmp(format, "tif") == 0)
        return &GUID_ContainerFormatTiff;
    return &GUID_ContainerFormatBmp;
}

} // namespace

HRESULT WritePage(const wchar_t* path, const char* format, int number, int dpi)
{
    Canvas page;
    page.width = dpi * 827 / 100; // A4: 8.27 x 11.69 inches
    page.height = dpi * 1169 / 100;
    page.stride = (page.width * 3 + 3) & ~3;
    page.pixels.assign(static_cast<size_t>(page.stride) * page.height, 0);
    Draw(page, number, dpi);

    ComPtr<IWICImagingFactory> factory;
    RETURN_IF_FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_PPV_ARGS(factory.GetAddressOf())));
    ComPtr<IWICStream> stream;
    RETURN_IF_FAILED(factory->CreateStream(stream.GetAddressOf()));
    RETURN_IF_FAILED(stream->InitializeFromFilename(path, GENERIC_WRITE));
    ComPtr<IWICBitmapEncoder> encoder;
    RETURN_IF_FAILED(factory->CreateEncoder(*ContainerFor(format), nullptr, encoder.GetAddressOf()));
    RETURN_IF_FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache));
    ComPtr<IWICBitmapFrameEncode> frame;
    RETURN_IF_FAILED(encoder->CreateNewFrame(frame.GetAddressOf(), nullptr));
    RETURN_IF_FAILED(frame->Initialize(nullptr));
    RETURN_IF_FAILED(frame->SetSize(static_cast<UINT>(page.width), static_cast<UINT>(page.height)));
    WICPixelFormatGUID pixelFormat = GUID_WICPixelFormat24bppBGR;
    RETURN_IF_FAILED(frame->SetPixelFormat(&pixelFormat));
    RETURN_IF_FAILED(frame->SetResolution(dpi, dpi));
    RETURN_IF_FAILED(frame->WritePixels(static_cast<UINT>(page.height), static_cast<UINT>(page.stride),
                                        static_cast<UINT>(page.pixels.size()), page.pixels.data()));
    RETURN_IF_FAILED(frame->Commit());
    RETURN_IF_FAILED(encoder->Commit());
    return S_OK;
}

} // namespace companion
