// The simulated scanner keeps the driver contract that the scan run will rely on: the
// folder found by category, its images counted and enumerated one at a time, and a
// download that asks for one stream and writes a real image file through it.
#include "driver_package.h"
#include "fake_scanner.h"

#include <gtest/gtest.h>

#include <shlwapi.h>
#include <wiadef.h>

#include <string>
#include <utility>
#include <vector>

namespace
{

using fakes::ComPtr;

// Hands out one stream without adding a reference, as the extension's callback does.
class OneStreamCallback final : public IWiaTransferCallback
{
public:
    explicit OneStreamCallback(IStream* stream) : stream_(stream) {}

    int streamsAsked = 0;
    std::vector<LONG> messages;

    IFACEMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        *object = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWiaTransferCallback) ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return 1; } // lives on the test's stack
    IFACEMETHODIMP_(ULONG) Release() override { return 1; }
    IFACEMETHODIMP TransferCallback(LONG, WiaTransferParams* params) override
    {
        messages.push_back(params->lMessage);
        return S_OK;
    }
    IFACEMETHODIMP GetNextStream(LONG, BSTR, BSTR, IStream** stream) override
    {
        ++streamsAsked;
        *stream = std::exchange(stream_, nullptr);
        return *stream ? S_OK : E_FAIL;
    }

private:
    IStream* stream_;
};

// The children an enumerator hands out one at a time, in order.
std::vector<ComPtr<IWiaItem2>> Walk(IEnumWiaItem2* items)
{
    std::vector<ComPtr<IWiaItem2>> walked;
    ComPtr<IWiaItem2> item;
    ULONG fetched = 0;
    while (items->Next(1, item.ReleaseAndGetAddressOf(), &fetched) == S_OK && fetched == 1)
        walked.push_back(item);
    return walked;
}

TEST(FakeScanner, FolderImagesAreFoundByCategoryAndCounted)
{
    const LONG live = fakes::LiveObjects();
    {
        fakes::Scanner scanner = fakes::MakeScanner();
        ComPtr<IEnumWiaItem2> rootItems;
        ASSERT_EQ(S_OK, scanner.root->EnumChildItems(&WIA_CATEGORY_FOLDER, rootItems.GetAddressOf()));
        const std::vector<ComPtr<IWiaItem2>> folders = Walk(rootItems.Get());
        ASSERT_EQ(1u, folders.size());
        EXPECT_EQ(static_cast<IWiaItem2*>(scanner.folder.Get()), folders[0].Get()) << "the flatbed is no folder";

        ComPtr<IEnumWiaItem2> images;
        ASSERT_EQ(S_OK, folders[0]->EnumChildItems(&WIA_CATEGORY_FOLDER, images.GetAddressOf()));
        ULONG count = 0;
        EXPECT_EQ(S_OK, images->GetCount(&count));
        EXPECT_EQ(2u, count);
        const std::vector<ComPtr<IWiaItem2>> walked = Walk(images.Get());
        ASSERT_EQ(2u, walked.size());
        EXPECT_EQ(static_cast<IWiaItem2*>(scanner.images[1].Get()), walked[1].Get());

        const std::vector<std::string> folderCalls = {"EnumChildItems folder", "GetCount", "Next 1", "Next 1",
                                                      "Next 1"};
        EXPECT_EQ(folderCalls, scanner.folder->calls);

        scanner.folder->enumChildItemsResult = E_FAIL;
        IEnumWiaItem2* failed = reinterpret_cast<IEnumWiaItem2*>(1);
        EXPECT_EQ(E_FAIL, scanner.folder->EnumChildItems(&WIA_CATEGORY_FOLDER, &failed));
        EXPECT_EQ(nullptr, failed);
    }
    EXPECT_EQ(live, fakes::LiveObjects());
}

TEST(FakeScanner, DownloadWritesTheImageThroughOneStream)
{
    struct Case
    {
        const char* label;
        fakes::DownloadFault fault;
        HRESULT expected;
        std::size_t written;
        int streamsAsked;
    };
    const Case cases[] = {
        {"whole image", fakes::DownloadFault::None, S_OK, 70, 1},
        {"failing after half", fakes::DownloadFault::AfterPartWrite, WIA_ERROR_PAPER_JAM, 35, 1},
        {"failing before the stream", fakes::DownloadFault::BeforeStream, WIA_ERROR_PAPER_JAM, 0, 0},
    };
    const LONG live = fakes::LiveObjects();
    const std::string path = uiext2_test::CommonDocumentsFolder() + "\\uiext2 fake download.bmp";
    const std::wstring widePath(path.begin(), path.end());
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.label);
        ::DeleteFileA(path.c_str());
        fakes::Scanner scanner = fakes::MakeScanner();
        scanner.images[0]->downloadFault = c.fault;
        scanner.images[0]->downloadResult = WIA_ERROR_PAPER_JAM;
        ComPtr<IWiaTransfer> transfer;
        ASSERT_EQ(S_OK, scanner.images[0]->QueryInterface(IID_IWiaTransfer,
                                                          reinterpret_cast<void**>(transfer.GetAddressOf())));
        IStream* stream = nullptr; // its one reference goes to the download
        ASSERT_EQ(S_OK, ::SHCreateStreamOnFileEx(widePath.c_str(), STGM_READWRITE, FILE_ATTRIBUTE_NORMAL, TRUE, nullptr,
                                                 &stream));
        OneStreamCallback callback(stream);

        EXPECT_EQ(c.expected, transfer->Download(1, &callback));
        EXPECT_EQ(c.streamsAsked, callback.streamsAsked);
        if (c.streamsAsked == 0)
            stream->Release(); // never claimed: still ours

        // The download released the stream, so the file is closed and can be read whole.
        const std::string bytes = uiext2_test::FileText(path);
        const std::vector<BYTE> image = fakes::SampleBitmap(40);
        EXPECT_EQ(std::string(image.begin(), image.begin() + c.written), bytes);
        EXPECT_TRUE(::DeleteFileA(path.c_str())) << "the stream must be closed";
    }
    EXPECT_EQ(live, fakes::LiveObjects());
}

} // namespace
