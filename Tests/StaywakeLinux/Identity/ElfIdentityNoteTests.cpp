#include "IdentityTestSupport.h"
#include "StaywakeLinux/Identity/ElfIdentityNote.h"

#include <elf.h>

#include <cstring>
#include <functional>

namespace staywake {
namespace {

using testing::TemporaryTree;

std::vector<std::byte> bytesOf(std::string_view text) {
    const auto* data = reinterpret_cast<const std::byte*>(text.data());
    return {data, data + text.size()};
}

void pad(std::vector<std::byte>& bytes, std::size_t alignment) {
    while (bytes.size() % alignment != 0) {
        bytes.push_back(std::byte{0});
    }
}

template <typename T> void append(std::vector<std::byte>& bytes, const T& value) {
    const auto* data = reinterpret_cast<const std::byte*>(&value);
    bytes.insert(bytes.end(), data, data + sizeof value);
}

std::vector<std::byte> note(std::string_view name, std::uint32_t type, std::string_view description,
                            std::size_t alignment = 4) {
    std::vector<std::byte> bytes;
    append(bytes, static_cast<std::uint32_t>(name.size()));
    append(bytes, static_cast<std::uint32_t>(description.size()));
    append(bytes, type);
    const auto nameBytes = bytesOf(name);
    bytes.insert(bytes.end(), nameBytes.begin(), nameBytes.end());
    pad(bytes, alignment);
    const auto descriptionBytes = bytesOf(description);
    bytes.insert(bytes.end(), descriptionBytes.begin(), descriptionBytes.end());
    pad(bytes, alignment);
    return bytes;
}

const std::string ourName("Staywake\0", 9);
const std::string gnuName("GNU\0", 4);

std::vector<std::byte> ourNote(std::string_view description) { return note(ourName, 1, description); }

// An ELF64 file of this machine: a header, one program header per segment,
// then the segments' contents, each as a PT_NOTE.
struct SyntheticElf {
    std::vector<std::vector<std::byte>> segments;
    std::uint64_t alignment = 4;
    std::function<void(Elf64_Ehdr&, std::vector<Elf64_Phdr>&)> damage = [](auto&, auto&) {};

    static Elf64_Ehdr header(std::size_t programHeaderCount) {
        Elf64_Ehdr header{};
        std::memcpy(header.e_ident, ELFMAG, SELFMAG);
        header.e_ident[EI_CLASS] = ELFCLASS64;
        header.e_ident[EI_DATA] = ELFDATA2LSB;
        header.e_ident[EI_VERSION] = EV_CURRENT;
        header.e_type = ET_DYN;
        header.e_machine = EM_X86_64;
        header.e_version = EV_CURRENT;
        header.e_phoff = sizeof(Elf64_Ehdr);
        header.e_ehsize = sizeof(Elf64_Ehdr);
        header.e_phentsize = sizeof(Elf64_Phdr);
        header.e_phnum = static_cast<Elf64_Half>(programHeaderCount);
        return header;
    }

    static Elf64_Phdr noteHeader(std::uint64_t offset, std::uint64_t size, std::uint64_t alignment) {
        Elf64_Phdr programHeader{};
        programHeader.p_type = PT_NOTE;
        programHeader.p_offset = offset;
        programHeader.p_filesz = size;
        programHeader.p_memsz = size;
        programHeader.p_align = alignment;
        return programHeader;
    }

    std::vector<std::byte> bytes() const {
        auto header = SyntheticElf::header(segments.size());
        std::vector<Elf64_Phdr> programHeaders;
        std::uint64_t offset = sizeof(Elf64_Ehdr) + segments.size() * sizeof(Elf64_Phdr);
        for (const auto& segment : segments) {
            programHeaders.push_back(noteHeader(offset, segment.size(), alignment));
            offset += segment.size();
        }
        damage(header, programHeaders);
        std::vector<std::byte> bytes;
        append(bytes, header);
        for (const auto& programHeader : programHeaders) {
            append(bytes, programHeader);
        }
        for (const auto& segment : segments) {
            bytes.insert(bytes.end(), segment.begin(), segment.end());
        }
        return bytes;
    }
};

std::optional<ElfIdentityNote> readBytes(const TemporaryTree& tree, const std::vector<std::byte>& bytes) {
    const auto path = tree.root() / "program";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return ElfIdentityNote::read(path.string());
}

TEST(ElfIdentityNote, ReadsTheNoteEachBuildWrote) {
    const struct {
        const char* program;
        std::optional<ElfIdentityNote> expected;
    } cases[] = {
        {FIXTURE_APP, ElfIdentityNote{"com.staywake.app", "ABCDE12345"}},
        {FIXTURE_HELPER, ElfIdentityNote{"com.staywake.app.lidhelper", "ABCDE12345"}},
        {FIXTURE_OTHER_TEAM, ElfIdentityNote{"com.staywake.app", "ZYXWV98765"}},
        {FIXTURE_NO_TEAM, ElfIdentityNote{"com.staywake.app", std::nullopt}},
        {FIXTURE_WITHOUT_NOTE, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ElfIdentityNote::read(std::string(c.program)), c.expected) << c.program;
    }
}

TEST(ElfIdentityNote, TheNoteSurvivesStripping) {
    TemporaryTree tree;
    const auto stripped = tree.program("stripped", FIXTURE_HELPER);
    ASSERT_EQ(std::system(("strip --strip-all '" + stripped.string() + "'").c_str()), 0);
    EXPECT_EQ(ElfIdentityNote::read(stripped.string()),
              (ElfIdentityNote{"com.staywake.app.lidhelper", "ABCDE12345"}));
}

TEST(ElfIdentityNote, FindsTheNoteAmongOthersInAnySegment) {
    TemporaryTree tree;
    const std::string description("com.staywake.app\0ABCDE12345\0", 28);
    const ElfIdentityNote expected{"com.staywake.app", "ABCDE12345"};

    auto segment = note(gnuName, NT_GNU_BUILD_ID, "0123456789abcdef0123");
    const auto ours = ourNote(description);
    segment.insert(segment.end(), ours.begin(), ours.end());
    EXPECT_EQ(readBytes(tree, SyntheticElf{{segment}}.bytes()), expected);

    EXPECT_EQ(readBytes(tree, SyntheticElf{{note(gnuName, 5, "12345678", 8)}, 8}.bytes()), std::nullopt);
    EXPECT_EQ(readBytes(tree, SyntheticElf{{note(gnuName, 5, "x"), ourNote(description)}}.bytes()), expected);
    EXPECT_EQ(readBytes(tree, SyntheticElf{{note(ourName, 1, description, 8)}, 8}.bytes()), expected);
}

TEST(ElfIdentityNote, RefusesMalformedFilesWithoutReadingOutsideThem) {
    TemporaryTree tree;
    const std::string description("com.staywake.app\0ABCDE12345\0", 28);
    using Damage = std::function<void(Elf64_Ehdr&, std::vector<Elf64_Phdr>&)>;
    const struct {
        const char* name;
        Damage damage;
    } damages[] = {
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
    for (const auto& d : damages) {
        EXPECT_EQ(readBytes(tree, SyntheticElf{{ourNote(description)}, 4, d.damage}.bytes()), std::nullopt)
            << d.name;
    }

    auto hugeName = ourNote(description);
    const std::uint32_t huge = UINT32_MAX;
    std::memcpy(hugeName.data(), &huge, sizeof huge);
    auto hugeDescription = ourNote(description);
    std::memcpy(hugeDescription.data() + 4, &huge, sizeof huge);
    auto truncated = ourNote(description);
    truncated.resize(truncated.size() - 8);

    const struct {
        const char* name;
        std::vector<std::byte> segment;
    } notes[] = {
        {"name size past the segment", hugeName},
        {"description size past the segment", hugeDescription},
        {"truncated description", truncated},
        {"two identity notes",
         [&] {
             auto both = ourNote(description);
             const auto second = ourNote(description);
             both.insert(both.end(), second.begin(), second.end());
             return both;
         }()},
        {"description without its zero bytes", ourNote("com.staywake.app")},
        {"description with one zero byte", ourNote(std::string("com.staywake.app\0", 17))},
        {"description with a third field", ourNote(std::string("com.staywake.app\0ABCDE12345\0x\0", 30))},
        {"lower-case Team ID", ourNote(std::string("com.staywake.app\0abcde12345\0", 28))},
        {"short Team ID", ourNote(std::string("com.staywake.app\0ABCDE1234\0", 27))},
        {"empty identifier", ourNote(std::string("\0ABCDE12345\0", 12))},
        {"identifier with a blank", ourNote(std::string("com staywake\0ABCDE12345\0", 24))},
    };
    for (const auto& n : notes) {
        EXPECT_EQ(readBytes(tree, SyntheticElf{{n.segment}}.bytes()), std::nullopt) << n.name;
    }

    const auto whole = SyntheticElf{{ourNote(description)}}.bytes();
    for (const std::size_t length :
         {std::size_t{0}, std::size_t{4}, sizeof(Elf64_Ehdr) - 1, sizeof(Elf64_Ehdr) + 10, whole.size() - 1}) {
        EXPECT_EQ(
            readBytes(tree, std::vector<std::byte>(whole.begin(), whole.begin() + static_cast<long>(length))),
            std::nullopt)
            << "truncated to " << length << " bytes";
    }
    EXPECT_EQ(readBytes(tree, whole), (ElfIdentityNote{"com.staywake.app", "ABCDE12345"}));
}

TEST(ElfIdentityNote, BoundsWhatItReadsWhenNoteSegmentsOverlap) {
    TemporaryTree tree;
    const auto large = note(gnuName, 5, std::string(512 * 1024, 'x'));
    const auto ours = ourNote(std::string("com.staywake.app\0ABCDE12345\0", 28));
    // Many program headers point at the same large segment, the last at ours:
    // each is within the file, but together they would have it read over and over.
    const auto withRepeats = [&](std::size_t repeats) {
        std::vector<std::byte> file;
        append(file, SyntheticElf::header(repeats + 1));
        const std::uint64_t largeOffset = sizeof(Elf64_Ehdr) + (repeats + 1) * sizeof(Elf64_Phdr);
        for (std::size_t index = 0; index < repeats; ++index) {
            append(file, SyntheticElf::noteHeader(largeOffset, large.size(), 4));
        }
        append(file, SyntheticElf::noteHeader(largeOffset + large.size(), ours.size(), 4));
        file.insert(file.end(), large.begin(), large.end());
        file.insert(file.end(), ours.begin(), ours.end());
        return file;
    };
    EXPECT_EQ(readBytes(tree, withRepeats(2)), (ElfIdentityNote{"com.staywake.app", "ABCDE12345"}));
    EXPECT_EQ(readBytes(tree, withRepeats(64)), std::nullopt);
}

TEST(ElfIdentityNote, NameAndTypeMustBothMatch) {
    TemporaryTree tree;
    const std::string description("com.staywake.app\0ABCDE12345\0", 28);
    EXPECT_EQ(readBytes(tree, SyntheticElf{{note(ourName, 2, description)}}.bytes()), std::nullopt);
    EXPECT_EQ(readBytes(tree, SyntheticElf{{note("Staywake", 1, description)}}.bytes()), std::nullopt);
    EXPECT_EQ(readBytes(tree, SyntheticElf{{note(std::string("StayWake\0", 9), 1, description)}}.bytes()),
              std::nullopt);
}

TEST(ElfIdentityNote, ReadsNothingFromWhatIsNotARegularFile) {
    TemporaryTree tree;
    const auto fifo = tree.root() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(ElfIdentityNote::read(fifo.string()), std::nullopt);
    EXPECT_EQ(ElfIdentityNote::read(tree.root().string()), std::nullopt);
    EXPECT_EQ(ElfIdentityNote::read((tree.root() / "absent").string()), std::nullopt);
}

} // namespace
} // namespace staywake
