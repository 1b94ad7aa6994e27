// One item into one file: path composition and its bounds, unique names, the extension
// from the item's format, recording into the application's record, failed downloads, and
// the callback's rules for its one stream.
#include "scan_fixture.h"

#include "com/module.h"
#include "scan/file_stream.h"
#include "scan/item_transfer.h"
#include "scan/stream_transfer_callback.h"

#include <shlwapi.h>

#include <utility>

namespace scan_test
{
namespace
{

using uiext2::ScanRecord;

const HRESULT kTruncated = static_cast<HRESULT>(0x8007007A); // STRSAFE_E_INSUFFICIENT_BUFFER

class ItemTransfer : public ScanTest
{
protected:
    fakes::Scanner scanner = fakes::MakeScanner(DeviceSetup(2));
    std::wstring Folder() const { return Wide(output_); }
};

TEST(TargetPath, IsComposedWithinMaxPath)
{
    const std::wstring folder200 = L"C:\\" + std::wstring(197, L'f'); // 200 characters
    const std::wstring base51 = std::wstring(51, L'b');               // 200 + 1 + 51 + 4 = 256
    const struct
    {
        std::wstring folder, base, expected; // expected empty: does not fit
    } cases[] = {
        {L"C:\\Scans", L"Img", L"C:\\Scans\\Img.BMP"},
        {L"C:\\Scans\\", L"Img", L"C:\\Scans\\Img.BMP"},
        {L"", L"Img", L"\\Img.BMP"},
        {folder200, base51 + L"bbb", folder200 + L"\\" + base51 + L"bbb.BMP"}, // 259
        {folder200, base51 + L"bbbb", L""},                                    // 260
        {std::wstring(259, L'f'), L"", L""},
    };
    for (const auto& c : cases)
    {
        wchar_t path[MAX_PATH];
        const HRESULT hr = uiext2::ComposeTargetPath(c.folder.c_str(), c.base.c_str(), L".BMP", path);
        if (c.expected.empty())
        {
            EXPECT_EQ(kTruncated, hr) << c.folder.size() + c.base.size();
            EXPECT_EQ(259u, std::wcslen(path)) << "filled to the last character";
        }
        else
        {
            EXPECT_EQ(S_OK, hr);
            EXPECT_EQ(c.expected, path);
        }
    }
}

std::string Numbered(ULONGLONG n, const std::string& base = "Img")
{
    return n == 1 ? base + ".BMP" : base + " (" + std::to_string(n) + ").BMP";
}

// One run's pages take increasing numbers above every number of the scheme taken in the
// folder (in any case), whatever else the folder holds; a name that appears during the run
// is skipped; no existing file is touched. Where no number above the highest makes a name,
// the lowest free numbers are taken.
TEST_F(ItemTransfer, NamesCountOnAboveTheNamesTaken)
{
    std::vector<std::string> many;
    for (ULONGLONG n = 1; n <= 500; ++n)
        many.push_back(Numbered(n));
    const std::string longBase(255 - output_.size() - 1 - 4, 'L'); // " (10)" no longer fits
    const struct
    {
        const char* name;
        std::vector<std::string> present;
        const char* appearing; // created after the first page
        ULONGLONG first, pages, skipped;
        std::string base = "Img";
    } cases[] = {
        {"a planted huge number", {"Img (999999999999999999).BMP"}, nullptr, 1, 3, 0},
        {"a planted huge number, low names taken",
         {"Img.BMP", "Img (3).BMP", "Img (999999999999999999).BMP"},
         nullptr,
         2,
         3,
         3},
        {"no number above fits the path", {Numbered(9, longBase)}, nullptr, 1, 3, 0, longBase},
        {"empty folder, a long run", {}, nullptr, 1, 300, 0},
        {"many names taken", many, nullptr, 501, 3, 0},
        {"past ten thousand", {"Img (10000).BMP"}, nullptr, 10001, 2, 0},
        {"only names of the scheme count",
         {"img (7).bmp", "Img (08).BMP", "Img (1).BMP", "Img2.BMP", "Img (9).PNG", "Imgx (20).BMP", "Img (x).BMP"},
         nullptr,
         8,
         2,
         0},
        {"a name taken meanwhile is skipped", {}, "Img (2).BMP", 1, 3, 2},
    };
    for (const auto& c : cases)
    {
        uiext2_test::RemoveFolder(output_);
        ::CreateDirectoryA(output_.c_str(), nullptr);
        for (const std::string& name : c.present)
            ASSERT_TRUE(uiext2_test::WriteFileText(output_ + "\\" + name, name));
        DialogRecord record(scanner.root.Get(), output_, Wide(c.base).c_str());
        ScanRecord paths(record.data);
        for (ULONGLONG page = 0; page < c.pages; ++page)
        {
            ASSERT_TRUE(paths.Reserve(1));
            ASSERT_EQ(S_OK, uiext2::TransferItem(paths, scanner.images[page % 2].Get())) << c.name << " " << page;
            if (page == 0 && c.appearing)
            {
                ASSERT_TRUE(uiext2_test::WriteFileText(output_ + "\\" + c.appearing, c.appearing));
            }
        }
        for (ULONGLONG page = 0, n = c.first; page < c.pages; ++page, ++n)
        {
            n += n == c.skipped;
            EXPECT_EQ(output_ + "\\" + Numbered(n, c.base), record.Path(static_cast<LONG>(page))) << c.name;
        }
        for (const std::string& name : c.present)
            EXPECT_EQ(name, uiext2_test::FileText(output_ + "\\" + name)) << c.name;
    }
}

TEST_F(ItemTransfer, ExtensionFollowsTheItemFormat)
{
    const GUID other = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    const struct
    {
        const GUID* format;
        const char* extension;
    } cases[] = {{&WiaImgFmt_BMP, ".BMP"},   {&WiaImgFmt_PNG, ".PNG"}, {&WiaImgFmt_JPEG, ".JPG"},
                 {&WiaImgFmt_TIFF, ".TIFF"}, {&other, ".BMP"},         {nullptr, ".BMP"}};
    for (const auto& c : cases)
    {
        fakes::ComPtr<fakes::FakeItem> item = scanner.images[0];
        if (c.format)
            item->SetGuid(wia2::IpaFormat, *c.format);
        else
            item->Remove(wia2::IpaFormat);
        DialogRecord record(scanner.root.Get(), output_, L"Page");
        ScanRecord paths(record.data);
        ASSERT_TRUE(paths.Reserve(1));
        ASSERT_EQ(S_OK, uiext2::TransferItem(paths, item.Get()));
        EXPECT_STREQ(c.extension, ::PathFindExtensionA(record.Path(0).c_str()));
        ::DeleteFileA(record.Path(0).c_str());
    }
}

// The caller's counted paths stay in front; each new one follows; pWiaItem ends at the
// last item, holding one reference, and the items it held before are given back.
TEST_F(ItemTransfer, RecordsAfterTheCallersPathsAndReleasesReplacedItems)
{
    DialogRecord record(scanner.root.Get(), output_, L"Img");
    record.data.pbstrFilePaths = static_cast<BSTR*>(::CoTaskMemAlloc(sizeof(BSTR)));
    record.data.pbstrFilePaths[0] = ::SysAllocString(L"C:\\earlier.BMP");
    record.data.lNumFiles = 1;
    const ULONG before = scanner.images[0]->RefCount();
    {
        ScanRecord paths(record.data);
        for (int i = 0; i < 3; ++i) // room grows one at a time
        {
            ASSERT_TRUE(paths.Reserve(1));
            ASSERT_EQ(S_OK, uiext2::TransferItem(paths, scanner.images[i % 2].Get()));
        }
    }
    ASSERT_EQ(4, record.data.lNumFiles);
    EXPECT_EQ("C:\\earlier.BMP", record.Path(0));
    EXPECT_EQ(output_ + "\\Img.BMP", record.Path(1));
    EXPECT_EQ(output_ + "\\Img (3).BMP", record.Path(3));
    EXPECT_EQ(static_cast<IWiaItem2*>(scanner.images[0].Get()), record.data.pWiaItem);
    EXPECT_EQ(before + 1, scanner.images[0]->RefCount());
    EXPECT_EQ(before, scanner.images[1]->RefCount());
}

// A failed page's file goes, even while the driver still holds its stream; one that someone
// else holds open stays until they let go (under Wine; on Windows without POSIX deletion),
// and the page's result says so.
TEST_F(ItemTransfer, FailuresCreateNothingAndKeepTheRecord)
{
    const std::wstring longBase(250, L'x');
    const struct
    {
        const char* name;
        fakes::DownloadFault fault;
        bool room;
        const wchar_t* base;
        HRESULT expected;
        bool hold = false, pin = false;
    } cases[] = {
        {"download fails half-way", fakes::DownloadFault::AfterPartWrite, true, L"Img", E_FAIL},
        {"fails with the stream held", fakes::DownloadFault::AfterPartWrite, true, L"Img", E_FAIL, true},
        {"fails with the file held open", fakes::DownloadFault::AfterPartWrite, true, L"Img", E_FAIL, true, true},
        {"download fails before asking", fakes::DownloadFault::BeforeStream, true, L"Img", E_ABORT},
        {"no room in the array", fakes::DownloadFault::None, false, L"Img", E_OUTOFMEMORY},
        {"path too long", fakes::DownloadFault::None, true, longBase.c_str(), kTruncated},
    };
    for (const auto& c : cases)
    {
        fakes::FakeItem& item = *scanner.images[0].Get();
        item.downloadFault = c.fault;
        item.downloadResult = c.expected;
        item.holdStream = c.hold;
        item.pinFile = c.pin;
        DialogRecord record(scanner.root.Get(), output_, c.base);
        ScanRecord paths(record.data);
        if (c.room)
        {
            ASSERT_TRUE(paths.Reserve(1));
        }
        const HRESULT hr = uiext2::TransferItem(paths, &item);
        const bool left = !Entries(output_).empty();
        EXPECT_TRUE(c.pin || !left) << c.name << ": a file nobody is told of";
        EXPECT_EQ(left ? E_ACCESSDENIED : c.expected, hr) << c.name;
        if (item.heldStream)
        {
            ULONG written = 0;
            EXPECT_EQ(STG_E_REVERTED, item.heldStream->Write("x", 1, &written)) << c.name;
            item.heldStream.Reset();
        }
        if (item.pinnedFile != INVALID_HANDLE_VALUE)
            ::CloseHandle(std::exchange(item.pinnedFile, INVALID_HANDLE_VALUE));
        EXPECT_EQ(0, record.data.lNumFiles) << c.name;
        EXPECT_EQ(nullptr, record.data.pWiaItem) << c.name;
        EXPECT_TRUE(Entries(output_).empty()) << c.name << ": a file nobody is told of";
    }
}

// A driver may keep the stream or the callback after Download returns. Each holds the
// module until the driver lets go, so that DllCanUnloadNow keeps the library loaded under
// it, and is freed then: the count comes back to where it was.
TEST_F(ItemTransfer, WhatTheDriverKeepsHoldsTheModule)
{
    for (const bool keepStream : {true, false})
    {
        fakes::FakeItem& item = *scanner.images[0].Get();
        item.holdStream = keepStream;
        item.holdCallback = !keepStream;
        DialogRecord record(scanner.root.Get(), output_, L"Kept");
        ScanRecord paths(record.data);
        ASSERT_TRUE(paths.Reserve(1));
        const LONG before = uiext2::ModuleRefCount();
        ASSERT_EQ(S_OK, uiext2::TransferItem(paths, &item));
        EXPECT_EQ(before + 1, uiext2::ModuleRefCount()) << keepStream;
        item.heldStream.Reset();
        item.heldCallback.Reset();
        EXPECT_EQ(before, uiext2::ModuleRefCount()) << keepStream << ": a live object, or one never freed";
    }
}

// What a driver may call besides Write (a seek back to patch a header, a size, a read,
// Stat), until the page's use ends: then every call is refused, and the file stays or goes.
TEST_F(ItemTransfer, FileStreamServesUntilThePageEnds)
{
    for (const bool keep : {true, false})
    {
        const std::string path = output_ + (keep ? "\\kept.BMP" : "\\discarded.BMP");
        fakes::ComPtr<uiext2::FileStream> stream, again;
        ASSERT_EQ(S_OK, uiext2::FileStream::Create(Wide(path).c_str(), stream));
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_EXISTS), uiext2::FileStream::Create(Wide(path).c_str(), again));
        ULONG done = 0;
        ULARGE_INTEGER at = {};
        ASSERT_EQ(S_OK, stream->Write("headerbody", 10, &done));
        ASSERT_EQ(S_OK, stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, &at));
        ASSERT_EQ(S_OK, stream->Write("HEAD", 4, &done));
        ULARGE_INTEGER size = {};
        size.QuadPart = 12;
        ASSERT_EQ(S_OK, stream->SetSize(size));
        ASSERT_EQ(S_OK, stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &at));
        EXPECT_EQ(4u, at.QuadPart) << "SetSize moves no seek pointer";
        LARGE_INTEGER back = {};
        back.QuadPart = -12;
        ASSERT_EQ(S_OK, stream->Seek(back, STREAM_SEEK_END, &at));
        EXPECT_EQ(0u, at.QuadPart);
        char text[16] = {};
        ASSERT_EQ(S_OK, stream->Read(text, sizeof(text), &done));
        EXPECT_EQ(std::string("HEADerbody\0\0", 12), std::string(text, done));
        STATSTG stat = {};
        ASSERT_EQ(S_OK, stream->Stat(&stat, STATFLAG_DEFAULT));
        EXPECT_EQ(12u, stat.cbSize.QuadPart);
        EXPECT_EQ(Wide(path), stat.pwcsName);
        ::CoTaskMemFree(stat.pwcsName);

        EXPECT_EQ(S_OK, keep ? stream->Keep() : stream->Discard());
        EXPECT_EQ(STG_E_REVERTED, stream->Write("x", 1, &done));
        EXPECT_EQ(STG_E_REVERTED, stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, &at));
        stream.Reset();
        EXPECT_EQ(keep ? std::string("HEADerbody\0\0", 12) : "", uiext2_test::FileText(path));
        EXPECT_EQ(keep, uiext2_test::FileExists(path));
    }
}

// The references an object holds now.
ULONG References(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

TEST(StreamTransferCallback, HandsOutItsOneStreamOnce)
{
    const struct
    {
        const IID* iid;
        HRESULT expected;
    } interfaces[] = {{&IID_IUnknown, S_OK}, {&IID_IWiaTransferCallback, S_OK}, {&IID_IWiaTransfer, E_NOINTERFACE}};

    IStream* stream = ::SHCreateMemStream(nullptr, 0);
    ASSERT_NE(nullptr, stream);
    stream->AddRef(); // ours, to watch the callback's
    auto* callback = new uiext2::StreamTransferCallback(fakes::ComPtr<IStream>(stream));
    stream->Release(); // the ComPtr argument's; the callback now holds the file's one reference
    for (const auto& i : interfaces)
    {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(i.expected, callback->QueryInterface(*i.iid, &object));
        if (SUCCEEDED(i.expected))
            static_cast<IUnknown*>(object)->Release();
        else
            EXPECT_EQ(nullptr, object);
    }
    EXPECT_EQ(E_POINTER, callback->QueryInterface(IID_IUnknown, nullptr));

    IStream* given = nullptr;
    EXPECT_EQ(S_OK, callback->GetNextStream(0, nullptr, nullptr, &given));
    EXPECT_EQ(stream, given);
    IStream* again = reinterpret_cast<IStream*>(2);
    EXPECT_EQ(E_FAIL, callback->GetNextStream(0, nullptr, nullptr, &again));
    EXPECT_EQ(reinterpret_cast<IStream*>(2), again) << "the output of a refused call is untouched";
    EXPECT_EQ(0u, callback->Release());
    EXPECT_EQ(2u, References(stream)) << "ours and the one handed out";
    given->Release();

    // Never asked for: released with the callback.
    IStream* unclaimed = ::SHCreateMemStream(nullptr, 0);
    unclaimed->AddRef();
    auto* unused = new uiext2::StreamTransferCallback(fakes::ComPtr<IStream>(unclaimed));
    unclaimed->Release();
    unused->Release();
    EXPECT_EQ(1u, References(unclaimed));
    unclaimed->Release();
}

} // namespace
} // namespace scan_test
