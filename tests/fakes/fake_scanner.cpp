// The simulated scanner's shared pieces: reference counting, the live-object count, the
// sample image and the assembled item tree.
#include "fake_scanner.h"

#include <string>
#include <utility>

namespace fakes
{

namespace
{
volatile LONG g_liveObjects = 0;

// Item type flags wia2.h does not need.
constexpr LONG kItemTypeFile = 0x00000002;
constexpr LONG kItemTypeDevice = 0x00000040;

// Drivers file finished images under this category; only their listing uses the folder's.
const GUID kCategoryFinishedFile = {0xff2b77ca, 0xcf84, 0x432b, {0xa7, 0x35, 0x3a, 0x13, 0x0d, 0xde, 0x2a, 0x88}};

void PutLittleEndian(std::vector<BYTE>& bytes, std::size_t at, DWORD value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[at + i] = static_cast<BYTE>(value >> (8 * i));
}
} // namespace

LONG LiveObjects()
{
    return g_liveObjects;
}

LiveObject::LiveObject()
{
    ::InterlockedIncrement(&g_liveObjects);
}

LiveObject::~LiveObject()
{
    ::InterlockedDecrement(&g_liveObjects);
}

std::vector<BYTE> SampleBitmap(BYTE shade)
{
    // BITMAPFILEHEADER (14) + BITMAPINFOHEADER (40) + two rows of 2 pixels, each row
    // padded from 6 to 8 bytes.
    std::vector<BYTE> bytes(70, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    PutLittleEndian(bytes, 2, 70, 4);    // file size
    PutLittleEndian(bytes, 10, 54, 4);   // pixel data offset
    PutLittleEndian(bytes, 14, 40, 4);   // header size
    PutLittleEndian(bytes, 18, 2, 4);    // width
    PutLittleEndian(bytes, 22, 2, 4);    // height, bottom-up
    PutLittleEndian(bytes, 26, 1, 2);    // planes
    PutLittleEndian(bytes, 28, 24, 2);   // bits per pixel
    PutLittleEndian(bytes, 34, 16, 4);   // image size
    PutLittleEndian(bytes, 38, 2835, 4); // 72 dpi
    PutLittleEndian(bytes, 42, 2835, 4);
    for (std::size_t row = 0; row < 2; ++row)
        for (std::size_t column = 0; column < 6; ++column)
            bytes[54 + row * 8 + column] = shade;
    return bytes;
}

Scanner MakeScanner(const ScannerSetup& setup)
{
    Scanner scanner;
    scanner.root =
        FakeItem::Make(wia2::ItemTypeRoot | wia2::ItemTypeFolder | kItemTypeDevice, WIA_CATEGORY_ROOT, L"Root");
    scanner.flatbed = FakeItem::Make(wia2::ItemTypeFolder, WIA_CATEGORY_FLATBED, L"Flatbed");
    scanner.folder = FakeItem::Make(wia2::ItemTypeFolder, WIA_CATEGORY_FOLDER, L"Scans");
    if (!scanner.root || !scanner.flatbed || !scanner.folder)
        return Scanner{};

    scanner.root->fullItemName = L"0000\\Root";
    scanner.root->SetString(wia2::ModelNameProp, setup.modelName);
    scanner.root->SetString(wia2::DpaFirmwareVersion, setup.firmwareVersion);
    scanner.root->SetString(wia2::DeviceNameProp, setup.deviceName);
    scanner.root->SetString(wia2::IpaFullItemName, scanner.root->fullItemName);

    scanner.flatbed->fullItemName = L"0000\\Root\\Flatbed";
    scanner.folder->fullItemName = L"0000\\Root\\Scans";
    scanner.root->children = {scanner.flatbed, scanner.folder};

    scanner.folder->trayFolder = setup.trayFolder;
    for (ULONG i = 1; i <= setup.imageCount && setup.trayFolder.empty(); ++i)
    {
        ComPtr<FakeItem> image = MakeImageItem(scanner.folder->fullItemName, L"Image" + std::to_wstring(i),
                                               WiaImgFmt_BMP, SampleBitmap(static_cast<BYTE>(i * 40)));
        if (!image)
            return Scanner{};
        scanner.folder->children.push_back(image);
        scanner.images.push_back(image);
    }
    return scanner;
}

ComPtr<FakeItem> MakeImageItem(const std::wstring& folderName, const std::wstring& name, const GUID& format,
                               std::vector<BYTE> image)
{
    ComPtr<FakeItem> item =
        FakeItem::Make(wia2::ItemTypeImage | kItemTypeFile | wia2::ItemTypeTransfer, kCategoryFinishedFile, name);
    if (!item)
        return item;
    item->listedUnder = WIA_CATEGORY_FOLDER;
    item->fullItemName = folderName + L"\\" + name;
    item->SetString(wia2::IpaItemName, name);
    item->SetString(wia2::IpaFullItemName, item->fullItemName);
    item->SetGuid(wia2::IpaFormat, format);
    item->image = std::move(image);
    return item;
}

} // namespace fakes
