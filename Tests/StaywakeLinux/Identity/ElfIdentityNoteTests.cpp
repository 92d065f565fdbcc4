#include "IdentityTestSupport.h"
#include "StaywakeLinux/Identity/ElfIdentityNote.h"

#include <elf.h>
#include <sys/stat.h>

#include <functional>

namespace staywake {
namespace {

template <typename T> void append(std::string& bytes, const T& value) {
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

/// A note: the sizes of its name and description, its type, then both, each padded to `alignment`.
std::string note(std::string_view name, std::uint32_t type, std::string_view description,
                 std::size_t alignment = 4) {
    std::string bytes;
    append(bytes, static_cast<std::uint32_t>(name.size()));
    append(bytes, static_cast<std::uint32_t>(description.size()));
    append(bytes, type);
    for (const auto part : {name, description}) {
        bytes += part;
        bytes.resize((bytes.size() + alignment - 1) / alignment * alignment, '\0');
    }
    return bytes;
}

const std::string ourName("Staywake\0", 9);
const std::string gnuName("GNU\0", 4);
const std::string description("com.staywake.app\0ABCDE12345\0", 28);
const ElfIdentityNote expected{"com.staywake.app", "ABCDE12345"};

std::string ourNote(std::string_view text) { return note(ourName, 1, text); }

using Damage = std::function<void(Elf64_Ehdr&, std::vector<Elf64_Phdr>&)>;

/// An ELF64 file of this machine: a header, one program header per segment,
/// then the segments' contents, each as a PT_NOTE.
std::string elf(const std::vector<std::string>& segments, std::uint64_t alignment = 4, const Damage& damage = {}) {
    Elf64_Ehdr header{};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = ELFCLASS64;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_type = ET_DYN;
    header.e_version = EV_CURRENT;
    header.e_phoff = sizeof header;
    header.e_phentsize = sizeof(Elf64_Phdr);
    header.e_phnum = static_cast<Elf64_Half>(segments.size());
    std::vector<Elf64_Phdr> programHeaders;
    std::uint64_t offset = sizeof header + segments.size() * sizeof(Elf64_Phdr);
    for (const auto& segment : segments) {
        // Type, flags, offset, two addresses, sizes in the file and in memory, alignment.
        programHeaders.push_back({PT_NOTE, 0, offset, 0, 0, segment.size(), segment.size(), alignment});
        offset += segment.size();
    }
    if (damage) {
        damage(header, programHeaders);
    }
    std::string bytes;
    append(bytes, header);
    for (const auto& programHeader : programHeaders) {
        append(bytes, programHeader);
    }
    for (const auto& segment : segments) {
        bytes += segment;
    }
    return bytes;
}

class ElfIdentityNoteTest : public ::testing::Test {
protected:
    std::optional<ElfIdentityNote> read(const std::string& bytes) const {
        testing::writeFile(path, bytes);
        return ElfIdentityNote::read(path.string());
    }

    testing::TemporaryTree tree;
    std::filesystem::path path = tree.root() / "program";
};

TEST_F(ElfIdentityNoteTest, ReadsTheNoteEachBuildWroteAlsoWhenStripped) {
    const auto stripped = tree.program("stripped", FIXTURE_HELPER);
    ASSERT_EQ(std::system(("strip --strip-all '" + stripped.string() + "'").c_str()), 0);
    const std::pair<std::string, std::optional<ElfIdentityNote>> cases[] = {
        {FIXTURE_APP, expected},
        {stripped.string(), ElfIdentityNote{"com.staywake.app.lidhelper", "ABCDE12345"}},
        {FIXTURE_NO_TEAM, ElfIdentityNote{"com.staywake.app", std::nullopt}},
        {FIXTURE_WITHOUT_NOTE, std::nullopt},
    };
    for (const auto& [program, note] : cases) {
        EXPECT_EQ(ElfIdentityNote::read(program), note) << program;
    }
}

TEST_F(ElfIdentityNoteTest, FindsTheNoteAmongOthersInAnySegmentButReadsOnlySoManyNoteBytes) {
    EXPECT_EQ(read(elf({note(gnuName, NT_GNU_BUILD_ID, "0123456789abcdef0123") + ourNote(description)})),
              expected);
    EXPECT_EQ(read(elf({note(gnuName, 5, "x"), ourNote(description)})), expected);
    EXPECT_EQ(read(elf({note(ourName, 1, description, 8)}, 8)), expected);
    // Each segment is within bounds, but so many together would have a
    // hostile file (whose headers could all point at one) read over and over.
    const auto large = note(gnuName, 5, std::string(1'000'000, 'x'));
    EXPECT_EQ(read(elf({large, large, large, ourNote(description)})), expected);
    EXPECT_EQ(read(elf({large, large, large, large, large, ourNote(description)})), std::nullopt);
}

TEST_F(ElfIdentityNoteTest, RefusesMalformedFilesAndNotesWithoutReadingOutsideThem) {
    const std::pair<const char*, Damage> damages[] = {
        {"bad magic", [](Elf64_Ehdr& h, auto&) { h.e_ident[EI_MAG1] = 'X'; }},
        {"32-bit class", [](Elf64_Ehdr& h, auto&) { h.e_ident[EI_CLASS] = ELFCLASS32; }},
        {"other byte order", [](Elf64_Ehdr& h, auto&) { h.e_ident[EI_DATA] = ELFDATA2MSB; }},
        {"relocatable object", [](Elf64_Ehdr& h, auto&) { h.e_type = ET_REL; }},
        {"odd program header size", [](Elf64_Ehdr& h, auto&) { h.e_phentsize = 48; }},
        {"program headers past the end", [](Elf64_Ehdr& h, auto&) { h.e_phoff = 1U << 30U; }},
        {"program header offset overflowing", [](Elf64_Ehdr& h, auto&) { h.e_phoff = UINT64_MAX - 8; }},
        {"too many program headers", [](Elf64_Ehdr& h, auto&) { h.e_phnum = PN_XNUM; }},
        {"segment past the end", [](auto&, std::vector<Elf64_Phdr>& p) { p[0].p_offset = 1U << 30U; }},
        {"segment size overflowing", [](auto&, std::vector<Elf64_Phdr>& p) { p[0].p_filesz = UINT64_MAX; }},
        {"segment longer than the file", [](auto&, std::vector<Elf64_Phdr>& p) { p[0].p_filesz += 4; }},
    };
    for (const auto& [name, damage] : damages) {
        EXPECT_EQ(read(elf({ourNote(description)}, 4, damage)), std::nullopt) << name;
    }

    const auto withSize = [](std::size_t at) {
        auto bytes = ourNote(description);
        std::fill_n(bytes.begin() + static_cast<long>(at), 4, '\xff');
        return bytes;
    };
    const std::pair<const char*, std::string> notes[] = {
        {"name size past the segment", withSize(0)},
        {"description size past the segment", withSize(4)},
        {"truncated description", ourNote(description).substr(0, ourNote(description).size() - 8)},
        {"two identity notes", ourNote(description) + ourNote(description)},
        {"another note type", note(ourName, 2, description)},
        {"name without its zero byte", note("Staywake", 1, description)},
        {"description without its zero bytes", ourNote("com.staywake.app")},
        {"description with one zero byte", ourNote(std::string("com.staywake.app\0", 17))},
        {"description with a third field", ourNote(std::string("com.staywake.app\0ABCDE12345\0x\0", 30))},
        {"short Team ID", ourNote(std::string("com.staywake.app\0ABCDE1234\0", 27))},
        {"empty identifier", ourNote(std::string("\0ABCDE12345\0", 12))},
    };
    for (const auto& [name, segment] : notes) {
        EXPECT_EQ(read(elf({segment})), std::nullopt) << name;
    }

    const auto whole = elf({ourNote(description)});
    for (const std::size_t length :
         {std::size_t{0}, sizeof(Elf64_Ehdr) - 1, sizeof(Elf64_Ehdr) + 10, whole.size() - 1}) {
        EXPECT_EQ(read(whole.substr(0, length)), std::nullopt) << "truncated to " << length << " bytes";
    }
    EXPECT_EQ(read(whole), expected);
}

} // namespace
} // namespace staywake
