// The release's decoder on this machine: the context-mixing one of the
// Windows release's stub and the web page's assets (release/unpack_cm.c).
// Payloads made by the packer
// (pack_pe.py, cm_pack) decode to their images byte for byte, and damaged
// ones fail cleanly, never touching memory outside the image (run under the
// sanitizers by make test-asan). The packed Windows files are checked too
// where they are built.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/golden.h"
#include "release/unpack_cm.h"

namespace {

std::vector<uint8_t> read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// --- The context-mixing decoder ---------------------------------------------

// A packed image for the context-mixing decoder: its table and the stream.
struct CmPacked {
    CmTable table;
    std::vector<uint8_t> payload;
};

CmPacked cm_split(const std::vector<uint8_t>& file, size_t table_at, size_t payload_at)
{
    CmPacked p{};
    memcpy(&p.table, file.data() + table_at, sizeof p.table);
    p.payload.assign(file.begin() + payload_at, file.begin() + payload_at + p.table.payload_size);
    return p;
}

// Decodes into an image buffer of exactly `size` bytes (so that the
// sanitizers see any write past it) with a state in fresh zeroed memory, as
// the stub's is: 0 or -1, as cm_unpack_image says.
int cm_decode(const CmTable& table, const std::vector<uint8_t>& payload, std::vector<uint8_t>& image)
{
    Cm* cm = static_cast<Cm*>(calloc(1, sizeof(Cm)));
    if (!cm)
        return -2;
    std::fill(image.begin(), image.end(), 0);
    int r = cm_unpack_image(&table, payload.data(), uint32_t(payload.size()), image.data(),
                            uint32_t(image.size()), cm);
    free(cm);
    return r;
}

uint32_t cm_image_size(const CmTable& table)
{
    uint32_t size = 0;
    for (uint32_t i = 0; i < table.count && i < CM_MAX_PIECES; i++)
        size += table.piece[i].size;
    return size;
}

// Sampled payload bytes changed in turn: the image never comes out
// different from the original with success.
void expect_cm_damage_refused(const CmPacked& p, const std::vector<uint8_t>& expected, int samples)
{
    std::vector<uint8_t> image(expected.size()), payload = p.payload;
    int refused = 0, tried = 0;
    size_t step = payload.size() / samples + 1;
    for (size_t at = 0; at < payload.size(); at += (at < 4 ? 1 : step)) {
        uint8_t change = uint8_t(1 << (at % 8));
        payload[at] ^= change;
        int r = cm_decode(p.table, payload, image);
        payload[at] ^= change;
        tried++;
        if (r == 0)
            ASSERT_TRUE(image == expected) << "byte " << at << " ^ " << int(change) << " decoded to a different image";
        else
            refused++;
    }
    EXPECT_GT(refused, tried * 9 / 10) << refused << " of " << tried << " damaged payloads refused";
}

// The packer's coding of the native show's first 64 KiB and the asset blob,
// each piece with its kind's usual models.
TEST(ReleaseUnpackCm, PayloadDecodesToImageAndDamageIsRefused)
{
    std::vector<uint8_t> file = read_file(test_build_path("tests/unpack_cm_payload.bin"));
    ASSERT_GT(file.size(), sizeof(CmTable)) << "tests/unpack_cm_payload.bin was not made";
    CmPacked p = cm_split(file, 0, sizeof(CmTable));
    ASSERT_EQ(p.table.magic[0], CM_MAGIC0);
    ASSERT_EQ(sizeof(CmTable) + p.table.payload_size, file.size());

    std::vector<uint8_t> expected = read_file(test_build_path("tavimo"));
    expected.resize(std::min<size_t>(expected.size(), 1 << 16));
    std::vector<uint8_t> blob = read_file(test_build_path("asset_blob.bin"));
    expected.insert(expected.end(), blob.begin(), blob.end());
    uint32_t size = cm_image_size(p.table);
    ASSERT_LE(size, expected.size());
    for (size_t i = size; i < expected.size(); i++)
        ASSERT_EQ(expected[i], 0) << "the image ends before byte " << i;
    expected.resize(size);

    std::vector<uint8_t> image(expected.size());
    ASSERT_EQ(cm_decode(p.table, p.payload, image), 0);
    ASSERT_TRUE(image == expected);
    bool calls = false, delta = false;
    for (uint32_t i = 0; i < p.table.count; i++) {
        calls |= p.table.piece[i].transform == CM_CALLS;
        delta |= p.table.piece[i].transform == CM_DELTA;
    }
    EXPECT_TRUE(calls) << "the code was coded without the call transform";
    EXPECT_FALSE(delta) << "the usual models are meant for the assets as they are";

    expect_cm_damage_refused(p, expected, 12);

    // Cut short, or a table that does not fit the image: refused.
    for (size_t keep : {size_t(0), p.payload.size() / 2, p.payload.size() - 1}) {
        std::vector<uint8_t> cut(p.payload.begin(), p.payload.begin() + keep);
        EXPECT_EQ(cm_decode(p.table, cut, image), -1) << "payload cut to " << keep << " bytes";
    }
    CmPacked bad = p;
    bad.table.piece[bad.table.count - 1].size += 1;
    EXPECT_EQ(cm_decode(bad.table, bad.payload, image), -1) << "a piece past the image's end";
    bad = p;
    bad.table.count = CM_MAX_PIECES + 1;
    EXPECT_EQ(cm_decode(bad.table, bad.payload, image), -1);
}

// The encoder (cm_pack, run as the packer runs it) and the decoder agree
// where the coder's arithmetic is at its edges: nothing, one byte, long runs
// the model comes to predict almost surely (both bit values), noise it
// cannot predict, each with models of every kind of mask; and a piece of
// zeros that is not coded between coded ones.
TEST(ReleaseUnpackCm, EncoderAndDecoderAgreeAtTheEdges)
{
    const std::string dir = test_build_path("tests/cm_edges");
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
    std::vector<std::vector<uint8_t>> pieces(6);
    pieces[1] = {0x5a};
    pieces[2].assign(70000, 0xff);
    pieces[3].assign(70000, 0x00);
    uint32_t x = 12345;
    for (int i = 0; i < 40000; i++) {
        x = x * 1103515245u + 12345u;
        pieces[4].push_back(uint8_t(x >> 24));
    }
    for (int i = 0; i < 30000; i++)
        pieces[5].push_back(uint8_t(i % 320 < 160 ? i / 7 : 255 - i % 97));
    const char* models[] = {"1 1 1", "127 255 ffff fff 1000 2000 4000 800 700 80", "2 30 1 3 7 f 1f 3f 7f ff",
                            "8 15 4000", "16 60 1 aa 55 1002", "6 30 200 201 400 100 a00 3"};
    std::string list;
    std::vector<uint8_t> expected;
    for (size_t i = 0; i < pieces.size(); i++) {
        std::string path = dir + "/piece" + std::to_string(i);
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(pieces[i].data()),
                                                     std::streamsize(pieces[i].size()));
        list += path + (i == 5 ? " data 160 " : " data 1 ") + models[i] + "\n";
        if (i == 2)
            list += "5000 zeros 1\n";
        expected.insert(expected.end(), pieces[i].begin(), pieces[i].end());
        if (i == 2)
            expected.resize(expected.size() + 5000, 0);
    }
    std::ofstream(dir + "/pieces") << list;
    std::string command = "'" + test_build_path("tavimo-cm-pack") + "' '" + dir + "/stream' '" + dir +
                          "/pieces' > '" + dir + "/coded'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    CmPacked p{};
    p.payload = read_file(dir + "/stream");
    std::ifstream coded(dir + "/coded");
    std::string line;
    for (size_t i = 0; std::getline(coded, line); i++) {
        ASSERT_LT(p.table.count, uint32_t(CM_MAX_PIECES));
        CmPiece& piece = p.table.piece[p.table.count++];
        unsigned packed, rate, limit, m[CM_MODELS];
        ASSERT_EQ(sscanf(line.c_str(), "%u %u %u %x %x %x %x %x %x %x %x", &packed, &rate, &limit, &m[0], &m[1],
                         &m[2], &m[3], &m[4], &m[5], &m[6], &m[7]),
                  3 + CM_MODELS)
            << line;
        piece.rate = uint8_t(rate);
        piece.limit = uint8_t(limit);
        for (int k = 0; k < CM_MODELS; k++)
            piece.model[k] = uint16_t(m[k]);
    }
    ASSERT_EQ(p.table.count, pieces.size() + 1);
    for (uint32_t i = 0, j = 0; i < p.table.count; i++) {
        if (i == 3) {
            p.table.piece[i].size = 5000;
            p.table.piece[i].transform = CM_ZEROS;
            continue;
        }
        p.table.piece[i].size = uint32_t(pieces[j].size());
        p.table.piece[i].row = j == 5 ? 160 : 1;
        j++;
    }
    p.table.hash = cm_hash(expected.data(), uint32_t(expected.size()));
    std::vector<uint8_t> image(expected.size());
    ASSERT_EQ(cm_decode(p.table, p.payload, image), 0);
    EXPECT_TRUE(image == expected);
    // The runs cost next to nothing, the noise about what it weighs.
    EXPECT_LT(p.payload.size(), 40000u + 2000u + 30000u / 4);
    EXPECT_GT(p.payload.size(), 40000u);
    // Each piece's bytes matter: one bit changed in the last piece's part,
    // in the noise's part, or one byte missing at the end, is refused.
    for (size_t at : {p.payload.size() - 2, p.payload.size() / 2}) {
        std::vector<uint8_t> damaged = p.payload;
        damaged[at] ^= 0x10;
        EXPECT_EQ(cm_decode(p.table, damaged, image), -1) << "byte " << at << " changed";
    }
    std::vector<uint8_t> cut(p.payload.begin(), p.payload.end() - 1);
    EXPECT_EQ(cm_decode(p.table, cut, image), -1);
    ASSERT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
}

// Where the bytes at `address` (from the file's base) of a PE file lie in
// the file, if all `size` of them are there; 0 if not.
size_t packed_file_offset(const std::vector<uint8_t>& exe, uint32_t address, uint32_t size)
{
    uint32_t nt = le32(&exe[0x3c]);
    unsigned sections = exe[nt + 6] | exe[nt + 7] << 8;
    unsigned optional = exe[nt + 20] | exe[nt + 21] << 8;
    for (unsigned i = 0; i < sections; i++) {
        const uint8_t* s = &exe[nt + 24 + optional + 40 * i];
        uint32_t va = le32(s + 12), rsize = le32(s + 16), raw = le32(s + 20);
        if (address >= va && address - va <= rsize && size <= rsize - (address - va) &&
            raw + uint64_t(rsize) <= exe.size())
            return raw + (address - va);
    }
    return 0;
}

// An imported function: the address of its slot, its DLL and its name.
struct Import {
    uint32_t slot;
    std::string dll, function;
    bool operator==(const Import& o) const { return slot == o.slot && dll == o.dll && function == o.function; }
};

std::string image_string(const std::vector<uint8_t>& image, size_t at)
{
    size_t end = at;
    while (end < image.size() && image[end])
        end++;
    return std::string(image.begin() + long(at), image.begin() + long(end));
}

// What the linked program's import directory binds, by name.
std::vector<Import> directory_imports(const std::vector<uint8_t>& image, uint32_t at, bool pe64)
{
    std::vector<Import> imports;
    for (; at + 20 <= image.size() && le32(&image[at + 12]); at += 20) {
        std::string dll = image_string(image, le32(&image[at + 12]));
        uint32_t names = le32(&image[at]), slot = le32(&image[at + 16]);
        for (; le32(&image[names]) || (pe64 && le32(&image[names + 4])); names += pe64 ? 8 : 4) {
            imports.push_back({slot, dll, image_string(image, le32(&image[names]) + 2)});
            slot += pe64 ? 8 : 4;
        }
    }
    return imports;
}

// What the stub's import list binds (see release/stub_win32.c); `end` is
// set past its last byte.
std::vector<Import> listed_imports(const std::vector<uint8_t>& image, uint32_t at, bool pe64, uint32_t* end)
{
    std::vector<Import> imports;
    while (at + 4 <= image.size() && le32(&image[at])) {
        uint32_t slot = le32(&image[at]);
        std::string dll = image_string(image, at + 4);
        at += 4 + uint32_t(dll.size()) + 1;
        for (std::string name; !(name = image_string(image, at)).empty(); at += uint32_t(name.size()) + 1) {
            imports.push_back({slot, dll, name});
            slot += pe64 ? 8 : 4;
        }
        at++;
    }
    *end = at + 4;
    return imports;
}

// The packed Windows files, where make release-windows(64) built them: the
// payload in the packed file decodes to the image the show was linked as
// (its headers and sections at their addresses) but for its imports: in
// place of the import directory, the stub's list of the same functions for
// the same slots, which are left zero. Damage is refused.
// `dir` is a build tree of the packed release (the build's
// TAVIMO_RELEASE_WIN*_BUILD_DIR).
void check_packed_windows(const std::string& dir)
{
    std::vector<uint8_t> exe = read_file(dir + "/tavimo-64k.exe");
    std::vector<uint8_t> linked = read_file(dir + "/tavimo.exe");
    if (exe.empty() || linked.empty()) {
        std::printf("note: %s/tavimo-64k.exe is not built (make release-windows builds it)\n", dir.c_str());
        return;
    }
    std::printf("checking %s/tavimo-64k.exe\n", dir.c_str());
    // The table, found by its magic words; the payload where it says, in
    // the section that holds that address.
    const uint8_t magic[8] = {'p', 'a', 'c', 'k', 'l', 'i', 'v', 'e'};
    auto found = std::search(exe.begin(), exe.end(), magic, magic + 8);
    ASSERT_NE(found, exe.end()) << "no unpack table";
    ASSERT_EQ(std::search(found + 1, exe.end(), magic, magic + 8), exe.end()) << "two unpack tables";
    CmTable table;
    memcpy(&table, &*found, sizeof table);
    size_t payload_at = packed_file_offset(exe, table.payload, table.payload_size);
    ASSERT_NE(payload_at, 0u) << "the payload is not in the file";
    CmPacked p = cm_split(exe, size_t(found - exe.begin()), payload_at);

    // The linked program as the system's loader maps it.
    uint32_t lnt = le32(&linked[0x3c]);
    unsigned lsections = linked[lnt + 6] | linked[lnt + 7] << 8;
    unsigned loptional = linked[lnt + 20] | linked[lnt + 21] << 8;
    uint32_t size_of_image = le32(&linked[lnt + 24 + 56]), headers = le32(&linked[lnt + 24 + 60]);
    std::vector<uint8_t> mapped(size_of_image);
    std::copy(linked.begin(), linked.begin() + headers, mapped.begin());
    for (unsigned i = 0; i < lsections; i++) {
        const uint8_t* s = &linked[lnt + 24 + loptional + 40 * i];
        uint32_t vsize = le32(s + 8), va = le32(s + 12), rsize = le32(s + 16), raw = le32(s + 20);
        uint32_t n = std::min(vsize ? vsize : rsize, rsize);
        std::copy(linked.begin() + raw, linked.begin() + raw + n, mapped.begin() + va);
    }
    uint32_t size = cm_image_size(p.table);
    ASSERT_LE(size, mapped.size());
    std::vector<uint8_t> image(size);
    ASSERT_EQ(cm_decode(p.table, p.payload, image), 0);
    expect_cm_damage_refused(p, image, 8);
    image.resize(mapped.size());  // the rest is the memory's zeros

    // The imports: from the lowest of the directory's and the slots'
    // addresses to the end of the section that holds them.
    bool pe64 = (linked[lnt + 24] | linked[lnt + 25] << 8) == 0x20b;
    uint32_t entry = lnt + 24 + (pe64 ? 112 : 96) + 8;  // the import directory's
    uint32_t directory = le32(&mapped[entry]), slots = le32(&mapped[entry + 88]);  // the address tables'
    uint32_t from = std::min(directory, slots), to = 0;
    for (unsigned i = 0; i < lsections; i++) {
        const uint8_t* s = &linked[lnt + 24 + loptional + 40 * i];
        if (from >= le32(s + 12) && from < le32(s + 12) + le32(s + 8))
            to = le32(s + 12) + le32(s + 8);
    }
    ASSERT_GT(to, from) << "no import directory in the linked program";
    ASSERT_LE(to, mapped.size());
    uint32_t list = le32(&image[entry]), list_end = 0;
    std::vector<Import> listed = listed_imports(image, list, pe64, &list_end);
    EXPECT_TRUE(listed == directory_imports(mapped, directory, pe64)) << "the import list binds other functions";
    EXPECT_GT(listed.size(), 10u);
    EXPECT_EQ(list_end - list, le32(&image[entry + 4]));
    for (uint32_t i = from; i < to; i++) {
        bool listed_here = i >= list && i < list_end;
        ASSERT_TRUE(listed_here || image[i] == 0) << "import data left at " << i;
    }
    std::vector<uint8_t> rest = image;
    std::copy(mapped.begin() + from, mapped.begin() + to, rest.begin() + from);
    std::copy(mapped.begin() + entry, mapped.begin() + entry + 8, rest.begin() + entry);
    ASSERT_TRUE(rest == mapped) << "the payload does not decode to the linked program";
}

TEST(ReleaseUnpack, PackedWindowsFilesDecodeToTheLinkedImage)
{
    check_packed_windows(TAVIMO_RELEASE_WIN32_BUILD_DIR);
    check_packed_windows(TAVIMO_RELEASE_WIN64_BUILD_DIR);
}

}  // namespace
