// The image lists of the schema cache: their layout, the pictures in them, the saved files
// and the threads that read them while icons are added.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <atomic>
#include <optional>
#include <filesystem>
#include <thread>

#include "lumivel/gdi_objects.h"
#include "lumivel/registry_key.h"
#include "schemacache/icon_load.h"
#include "schemacache/image_list_files.h"
#include "schemacache/resource_ids.h"
#include "schemacache/tests/schema_cache_fixture.h"
#include "win/processes.h"

namespace glossar {
namespace {

using namespace glossar::testing;
using lumivel::gfx::Image;

const auto* const kHives = ::testing::AddGlobalTestEnvironment(new HivesWithoutDomain);

struct Lists {
    HIMAGELIST small = nullptr;
    HIMAGELIST large = nullptr;
    explicit Lists(ISchemaCache* cache) {
        LONG_PTR handle = 0;
        cache->GetSmallImageList(&handle);
        small = reinterpret_cast<HIMAGELIST>(handle);
        cache->GetLargeImageList(&handle);
        large = reinterpret_cast<HIMAGELIST>(handle);
    }
    ~Lists() {
        if (small) ImageList_Destroy(small);
        if (large) ImageList_Destroy(large);
    }
    int count() const { return ImageList_GetImageCount(small); }
    Image at(int index, bool big = false) const { return *lumivel::gfx::ImageListImage(big ? large : small, index); }
};

Image IconPicture(HMODULE module, int id, int size) {
    HICON icon = LoadIconW(module, MAKEINTRESOURCEW(id));
    EXPECT_NE(icon, nullptr) << id;
    return icon ? *lumivel::gfx::IconImage(icon, size) : Image();
}

// The icon module as the loader sees it, for reading our own pictures to compare with.
class OwnIconModule {
public:
    OwnIconModule() : m_module(LoadLibraryExW(OwnIcons().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~OwnIconModule() {
        if (m_module) FreeLibrary(m_module);
    }
    HMODULE get() const { return m_module; }

private:
    HMODULE m_module;
};

// An IStream over an image-list file slot, as the cache's own, that remembers its last read.
struct SlotStream final : lumivel::com::ComObject<SlotStream, ReadWriteStream> {
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<SlotStream, ReadWriteStream>(IID_IStream)};
    explicit SlotStream(ImageListFileSlot* s) : slot(s) {}
    ImageListFileSlot* slot;
    ULONG lastAsked = 0, lastGot = 0;
    HRESULT lastResult = S_OK;
    HRESULT STDMETHODCALLTYPE Read(void* p, ULONG n, ULONG* r) override {
        lastAsked = n;
        lastResult = slot->Read(p, n, r);
        lastGot = r ? *r : 0;
        return lastResult;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* p, ULONG n, ULONG* w) override { return slot->Write(p, n, w); }
};

// The pixels of a 24-bit bottom-up bitmap file, as a picture saves itself.
std::optional<Image> DecodeBitmapFile(const VARIANT& bytes) {
    if (bytes.vt != (VT_ARRAY | VT_UI1)) return std::nullopt;
    const auto* data = static_cast<const BYTE*>(bytes.parray->pvData);
    const size_t size = bytes.parray->rgsabound[0].cElements;
    auto number = [&](size_t at, int width) {
        uint32_t value = 0;
        for (int i = width - 1; i >= 0; --i) value = value << 8 | data[at + size_t(i)];
        return value;
    };
    if (size < 54 || data[0] != 'B' || data[1] != 'M' || number(28, 2) != 24) return std::nullopt;
    const int width = int(number(18, 4)), height = int(number(22, 4));
    const size_t offset = number(10, 4), stride = (size_t(width) * 3 + 3) / 4 * 4;
    if (offset + stride * size_t(height) > size) return std::nullopt;
    Image image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const BYTE* p = data + offset + stride * size_t(height - 1 - y) + size_t(x) * 3;
            image.at(x, y) = 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        }
    return image;
}

void SetIgnoreImageFiles(DWORD value) {
    lumivel::RegistryKey key;
    ASSERT_EQ(key.create(HKEY_CURRENT_USER, kGlossarSettingsKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
    key.writeDword(u"IgnoreImageFiles", value);
}

// Moves a file's modification time back, as if written an hour ago.
void Age(const std::string& path) {
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    struct utimbuf times {status.st_atime, status.st_mtime - 3600};
    ASSERT_EQ(utime(path.c_str(), &times), 0);
}

// Saved lists whose every image is one flat colour: a cache that shows them restored them.
void WriteFlatLists(const std::u16string& directory, int count) {
    ImageListFileSlot files;
    for (int size : {16, 32}) {
        HIMAGELIST list = ImageList_Create(size, size, ILC_MASK | ILC_COLOR8, count, 1);
        Image flat(size, size, 0xFF00FF00u);
        HICON icon = lumivel::gfx::CreateIconFromImages({flat});
        for (int i = 0; i < count; ++i) ImageList_ReplaceIcon(list, -1, icon);
        DestroyIcon(icon);
        SlotStream writer(&files);
        ASSERT_TRUE(files.WriteList(directory + (size == 16 ? kSmallImagesFile : kLargeImagesFile), list, &writer));
        ImageList_Destroy(list);
    }
}

class ImageListsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetIgnoreImageFiles(0);
        WriteIndex(Directory(), SampleClasses());
    }
    std::u16string Directory() const { return DirectoryOf(m_folder); }
    std::string File(const char16_t* name) const { return m_folder.path() + "/" + lumivel::ToUtf8(name); }
    lumivel::ComPtr<ISchemaCache> Initialised() {
        auto cache = NewCache(Directory());
        EXPECT_EQ(cache->InitializeActiveDirectoryIcons(1), S_OK);
        EXPECT_EQ(cache->IsInitialized(), S_OK);
        return cache;
    }

    TemporaryDirectory m_folder;
};

TEST_F(ImageListsTest, EveryClassVariantAndNodeTypeHasItsPlaceInBothLists) {
    auto cache = Initialised();
    Lists lists(cache.get());
    // Defaults first, then per class with an icon its three places (and the "Disabled" ones),
    // then the node types.
    EXPECT_EQ(IconIndex(cache.get(), u"boxWithoutIcon"), 0);
    EXPECT_EQ(IconIndex(cache.get(), u"leafWithoutIcon"), 3);
    EXPECT_EQ(IconIndex(cache.get(), u"leafWithoutIconBusy"), -1);
    EXPECT_EQ(IconIndex(cache.get(), u"container"), 6);
    EXPECT_EQ(IconIndex(cache.get(), u"containerBusy"), 7);
    EXPECT_EQ(IconIndex(cache.get(), u"containerControlled"), 8);
    EXPECT_EQ(IconIndex(cache.get(), u"user"), 9);
    EXPECT_EQ(IconIndex(cache.get(), u"userDisabled"), 12);
    EXPECT_EQ(IconIndex(cache.get(), u"iNetOrgPersonDisabled"), 13);
    EXPECT_EQ(IconIndex(cache.get(), u"organizationalUnit"), 14);
    EXPECT_EQ(IconIndex(cache.get(), u"computer"), 17);
    EXPECT_EQ(IconIndex(cache.get(), u"computerDisabled"), 20);
    EXPECT_EQ(IconIndex(cache.get(), u"inetOrgPerson"), 21) << "its own pair follows; the first pair keeps the names";
    EXPECT_EQ(IconIndex(cache.get(), u"GovrixRole"), 26);
    EXPECT_EQ(IconIndex(cache.get(), u"Query"), 26 + 12 * 3);
    EXPECT_EQ(IconIndex(cache.get(), u"BusinessView"), 26 + 16 * 3);
    EXPECT_EQ(IconIndex(cache.get(), u"BusinessViewControlled"), 26 + 16 * 3 + 2);
    EXPECT_EQ(lists.count(), 26 + 17 * 3);
    EXPECT_EQ(ImageList_GetImageCount(lists.large), lists.count());
    int cx = 0, cy = 0;
    ImageList_GetIconSize(lists.large, &cx, &cy);
    EXPECT_EQ(cx, 32);
    LONG isClass = 0;
    EXPECT_EQ(cache->IsClass(Text(u"userDisabled").get(), &isClass), S_OK) << "state variants count as classes";

    // A second call costs one lookup and adds nothing; one without images leaves the lists.
    EXPECT_EQ(cache->InitializeActiveDirectoryIcons(1), S_OK);
    EXPECT_EQ(Lists(cache.get()).count(), lists.count());
    EXPECT_EQ(cache->InitializeActiveDirectoryIcons(0), S_OK);
    EXPECT_EQ(Lists(cache.get()).count(), lists.count());
    EXPECT_EQ(IconIndex(cache.get(), u"user"), 9);
}

TEST_F(ImageListsTest, TheListsShowOurPicturesAndTheirVariants) {
    auto cache = Initialised();
    Lists lists(cache.get());
    OwnIconModule own;
    ASSERT_NE(own.get(), nullptr);
    for (int size : {16, 32}) {
        const bool big = size == 32;
        EXPECT_EQ(lists.at(9, big), IconPicture(own.get(), 4100, size)) << "user at " << size;
        EXPECT_EQ(lists.at(12, big), IconPicture(own.get(), 4129, size)) << "userDisabled at " << size;
        EXPECT_EQ(lists.at(20, big), IconPicture(own.get(), 4135, size)) << "computerDisabled at " << size;
        EXPECT_EQ(lists.at(0, big), IconPicture(nullptr, IDI_DEFAULT_CONTAINER, size));
        EXPECT_EQ(lists.at(3, big), IconPicture(nullptr, IDI_DEFAULT_LEAF, size));
        EXPECT_EQ(lists.at(26, big), IconPicture(nullptr, IDI_GOVRIX_ROLE, size));
        // "Busy": the icon where the overlay is clear, the overlay where it is drawn.
        const Image base = lists.at(9, big), busy = lists.at(10, big), overlay = IconPicture(nullptr, IDI_BUSY_OVERLAY, size);
        int overlaid = 0;
        auto seen = [](lumivel::gfx::Argb p) { return lumivel::gfx::IsTransparent(p) ? 0u : p; };
        for (size_t i = 0; i < base.pixels.size(); ++i) {
            const bool drawn = !lumivel::gfx::IsTransparent(overlay.pixels[i]);
            overlaid += drawn;
            ASSERT_EQ(seen(busy.pixels[i]), seen(drawn ? overlay.pixels[i] : base.pixels[i])) << i;
        }
        EXPECT_GT(overlaid, 0);
        EXPECT_NE(lists.at(11, big), busy) << "Controlled differs from Busy";
    }
}

TEST_F(ImageListsTest, IconModulesOutsideTheInstallationAreNeverLoaded) {
    // A module that leaves a mark when loaded, copied outside the installation, and an icon
    // source of the directory's own platform.
    const std::string marker = m_folder.path() + "/loaded";
    setenv("GLOSSAR_TEST_MARK", marker.c_str(), 1);
    const std::string hostile = m_folder.path() + "/hostile.so";
    std::filesystem::copy_file(std::string(std::getenv("LUMIVEL_BIN_DIR")) + "/glossar_constructor_mark.so", hostile);
    auto classes = SampleClasses();
    classes.push_back({u"hostileClass", u"Hostile", u"{12121212-1212-1212-1212-121212121212}", false,
                       lumivel::FromUtf8(hostile), 1});
    classes.push_back({u"group", u"Group", u"{BF967A9C-0DE6-11D0-A285-00AA003049E2}", false,
                       u"%SystemRoot%\\system32\\dsadmin.dll", 123});
    WriteIndex(Directory(), classes);
    auto cache = Initialised();
    EXPECT_FALSE(std::filesystem::exists(marker)) << "the module's code ran";
    Lists lists(cache.get());
    OwnIconModule own;
    EXPECT_EQ(lists.at(IconIndex(cache.get(), u"hostileClass")), IconPicture(nullptr, IDI_DEFAULT_LEAF, 16));
    EXPECT_EQ(IconIndex(cache.get(), u"hostileClassBusy"), IconIndex(cache.get(), u"hostileClass") + 1);
    EXPECT_EQ(lists.at(IconIndex(cache.get(), u"group"), true), IconPicture(own.get(), 4101, 32))
        << "our own picture of the class stands in for the directory platform's";
    unsetenv("GLOSSAR_TEST_MARK");
}

TEST_F(ImageListsTest, SavedListsAreReadBackWhenTheyFitTheIndex) {
    Initialised();
    ASSERT_TRUE(std::filesystem::exists(File(kSmallImagesFile)));
    ASSERT_TRUE(std::filesystem::exists(File(kLargeImagesFile)));
    const int schemaImages = static_cast<int>(IconLoad::ExpectedImageCount({}) + 5 * 3 + 2 + 1 + 2);
    EXPECT_EQ(schemaImages, 26);

    // Lists that fit the index are taken as they are: their flat images show it.
    WriteFlatLists(Directory(), schemaImages);
    auto restored = Initialised();
    {
        Lists lists(restored.get());
        EXPECT_EQ(lists.at(IconIndex(restored.get(), u"user")).pixels.front(), 0xFF00FF00u);
        EXPECT_EQ(IconIndex(restored.get(), u"computerDisabled"), 20);
        EXPECT_EQ(IconIndex(restored.get(), u"Query"), 26 + 12 * 3) << "node types follow as when built";
        EXPECT_NE(lists.at(IconIndex(restored.get(), u"Query")).pixels.front(), 0xFF00FF00u);
    }
    // Another start reads the same, and lists taken as they were are not written again.
    // (Moved back in time, the index still before the lists, so that a write would show.)
    for (const char16_t* name : {kClassIndexFile, kClassIndexFile, kSmallImagesFile, kLargeImagesFile}) Age(File(name));
    const auto small = std::filesystem::last_write_time(File(kSmallImagesFile));
    const auto large = std::filesystem::last_write_time(File(kLargeImagesFile));
    auto again = Initialised();
    Lists lists(again.get());
    EXPECT_EQ(lists.at(9).pixels.front(), 0xFF00FF00u);
    EXPECT_EQ(lists.count(), 26 + 17 * 3);
    EXPECT_EQ(std::filesystem::last_write_time(File(kSmallImagesFile)), small);
    EXPECT_EQ(std::filesystem::last_write_time(File(kLargeImagesFile)), large);
}

TEST_F(ImageListsTest, ListsThatDoNotFitAreBuiltAfresh) {
    OwnIconModule own;
    const Image user = IconPicture(own.get(), 4100, 16);
    auto builtUser = [&](const char* why) {
        auto cache = Initialised();
        Lists lists(cache.get());
        EXPECT_EQ(lists.at(IconIndex(cache.get(), u"user")), user) << why;
        EXPECT_EQ(ImageList_GetImageCount(lists.large), lists.count()) << why;
    };
    // One file truncated: the stream reports the short read and the list is refused.
    WriteFlatLists(Directory(), 26);
    std::filesystem::resize_file(File(kLargeImagesFile), std::filesystem::file_size(File(kLargeImagesFile)) - 10);
    builtUser("truncated large list");
    // One file missing: the other alone does not count.
    WriteFlatLists(Directory(), 26);
    std::filesystem::remove(File(kSmallImagesFile));
    builtUser("small list missing");
    // Lists saved before the index grew by a class with an icon.
    auto classes = SampleClasses();
    classes.push_back({u"group", u"Group", u"{BF967A9C-0DE6-11D0-A285-00AA003049E2}", false, OwnIcons(), 4101});
    WriteIndex(Directory(), classes);
    Age(File(kClassIndexFile));
    WriteFlatLists(Directory(), 26);
    builtUser("lists of fewer classes");
    // As many places, but an index written after the lists were saved.
    WriteIndex(Directory(), SampleClasses());
    WriteFlatLists(Directory(), 26);
    Age(File(kSmallImagesFile));
    Age(File(kLargeImagesFile));
    builtUser("index newer than the lists");
}

TEST_F(ImageListsTest, IgnoreImageFilesBuildsEveryTimeAndStillSaves) {
    WriteFlatLists(Directory(), 26);
    Age(File(kLargeImagesFile));
    const auto before = std::filesystem::last_write_time(File(kLargeImagesFile));
    SetIgnoreImageFiles(1);
    auto cache = Initialised();
    OwnIconModule own;
    EXPECT_EQ(Lists(cache.get()).at(9), IconPicture(own.get(), 4100, 16));
    EXPECT_GT(std::filesystem::last_write_time(File(kLargeImagesFile)), before);
    SetIgnoreImageFiles(0);
    auto restored = Initialised();
    EXPECT_EQ(Lists(restored.get()).at(9), IconPicture(own.get(), 4100, 16)) << "the rewritten lists hold our pictures";
}

TEST_F(ImageListsTest, AddingAnIconTwiceAddsItOnce) {
    auto cache = Initialised();
    const int before = Lists(cache.get()).count();
    HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(IDI_QUERY));
    LONG index = -7;
    EXPECT_EQ(cache->AddIconToImageList(Text(u"MyNode").get(), reinterpret_cast<LONG_PTR>(icon), &index), S_OK);
    EXPECT_EQ(index, before);
    EXPECT_EQ(IconIndex(cache.get(), u"MyNodeControlled"), before + 2);
    LONG again = -7;
    EXPECT_EQ(cache->AddIconToImageList(Text(u"mynode").get(), reinterpret_cast<LONG_PTR>(icon), &again), S_OK);
    EXPECT_EQ(again, -7) << "left as the caller set it";
    EXPECT_EQ(Lists(cache.get()).count(), before + 3);
    // An icon handle that is none still keeps both lists in step.
    EXPECT_EQ(cache->AddIconToImageList(Text(u"Broken").get(), 0x5A5A, &index), S_OK);
    Lists lists(cache.get());
    EXPECT_EQ(lists.count(), before + 6);
    EXPECT_EQ(ImageList_GetImageCount(lists.large), before + 6);
}

TEST_F(ImageListsTest, WithoutImagesNoListIsMade) {
    auto cache = NewCache(Directory());
    ASSERT_EQ(cache->InitializeActiveDirectoryIcons(0), S_OK);
    LONG_PTR handle = 7;
    EXPECT_EQ(cache->GetSmallImageList(&handle), S_OK);
    EXPECT_EQ(handle, 0);
    EXPECT_EQ(IconIndex(cache.get(), u"user"), -1);
    EXPECT_EQ(IconIndex(cache.get(), u"Query"), -1);
    EXPECT_FALSE(std::filesystem::exists(File(kSmallImagesFile)));
}

TEST_F(ImageListsTest, AFailedLoadStillGivesTheNodeTypes) {
    TemporaryDirectory empty;
    auto cache = NewCache(DirectoryOf(empty));
    EXPECT_EQ(cache->InitializeActiveDirectoryIcons(1), S_OK);
    EXPECT_EQ(cache->IsInitialized(), S_FALSE);
    EXPECT_EQ(IconIndex(cache.get(), u"GovrixRole"), 0);
    EXPECT_EQ(IconIndex(cache.get(), u"Query"), 36);
    // A later call that loads keeps the node types where they are, even with saved lists
    // that would fit the index on their own.
    WriteIndex(DirectoryOf(empty), SampleClasses());
    WriteFlatLists(DirectoryOf(empty), 26);
    EXPECT_EQ(cache->InitializeActiveDirectoryIcons(1), S_OK);
    EXPECT_EQ(cache->IsInitialized(), S_OK);
    Lists lists(cache.get());
    EXPECT_EQ(lists.at(36), IconPicture(nullptr, IDI_QUERY, 16));
    OwnIconModule own;
    EXPECT_EQ(lists.at(IconIndex(cache.get(), u"user")), IconPicture(own.get(), 4100, 16));
}

TEST_F(ImageListsTest, NodeTypeStripsAreBitmapFiles) {
    auto cache = Initialised();
    const LONG query = IconIndex(cache.get(), u"Query");
    for (LONG size : {16, 32}) {
        VARIANT strip;
        VariantInit(&strip);
        ASSERT_EQ(cache->GetImageListForNodeType(Text(u"Query").get(), size, &strip), S_OK);
        ASSERT_EQ(strip.vt, VT_ARRAY | VT_UI1);
        auto image = DecodeBitmapFile(strip);
        VariantClear(&strip);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, size * 3);
        EXPECT_EQ(image->height, size);
        Lists lists(cache.get());
        const Image busy = lists.at(query + 1, size == 32);
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const auto expected = lumivel::gfx::IsTransparent(busy.at(x, y)) ? 0xFF00FFFFu : busy.at(x, y);
                ASSERT_EQ(image->at(size + x, y) | 0xFF000000u, expected | 0xFF000000u) << x << "," << y;
            }
        }
    }
    VARIANT all;
    VariantInit(&all);
    ASSERT_EQ(cache->GetImageListForNodeType(nullptr, 16, &all), S_OK);
    auto image = DecodeBitmapFile(all);
    VariantClear(&all);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 16 * (Lists(cache.get()).count() + 1));
}

TEST(ImageListFile, ShortReadsAndWritesAreReported) {
    TemporaryDirectory folder;
    ImageListFileSlot slot;
    BYTE buffer[8] = {};
    ULONG count = 99;
    EXPECT_EQ(slot.Read(buffer, 8, &count), STG_E_ACCESSDENIED);
    EXPECT_EQ(count, 0u);
    const std::string path = folder.path() + "/short";
    WriteBytes(path, {1, 2, 3});
    // A list read through the slot from a file too short to hold one is refused.
    SlotStream reader(&slot);
    EXPECT_EQ(slot.ReadList(lumivel::FromUtf8(path), &reader), nullptr);
    EXPECT_EQ(reader.lastResult, S_FALSE);
    EXPECT_LT(reader.lastGot, reader.lastAsked);
    // Nothing is written where the list could not be: an existing file keeps its content.
    EXPECT_FALSE(slot.WriteList(lumivel::FromUtf8(path), nullptr, &reader));
    EXPECT_EQ(ReadBytes(path), (std::vector<unsigned char>{1, 2, 3}));
}

TEST_F(ImageListsTest, LookupsGoOnWhileIconsAreAdded) {
    auto cache = Initialised();
    const LONG user = IconIndex(cache.get(), u"user");
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    auto reader = [&] {
        while (!done) {
            LONG index = -1;
            cache->GetIconIndex(Text(u"user").get(), &index);
            BSTR friendly = nullptr;
            cache->LookupFriendlyClassName(Text(u"computer").get(), &friendly);
            if (index != user || !friendly || std::u16string(friendly) != u"Computer") ++wrong;
        }
    };
    std::thread first(reader), second(reader);
    HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(IDI_BUSINESS_VIEW));
    std::vector<LONG> added;
    for (int i = 0; i < 200; ++i) {
        LONG index = -1;
        cache->AddIconToImageList(Text(lumivel::FromUtf8("Added" + std::to_string(i)).c_str()).get(),
                                  reinterpret_cast<LONG_PTR>(icon), &index);
        added.push_back(index);
    }
    done = true;
    first.join();
    second.join();
    EXPECT_EQ(wrong, 0);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(IconIndex(cache.get(), lumivel::FromUtf8("Added" + std::to_string(i)).c_str()), added[size_t(i)]);
        if (i) {
            EXPECT_EQ(added[size_t(i)], added[size_t(i - 1)] + 3);
        }
    }
    Lists lists(cache.get());
    EXPECT_EQ(lists.count(), ImageList_GetImageCount(lists.large));
    EXPECT_EQ(lists.count(), added.back() + 3);
}

}  // namespace
}  // namespace glossar
