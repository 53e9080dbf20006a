#include "core/id3v1_tag.h"

#include <algorithm>

namespace {

constexpr std::int64_t kBlockSize = 128;

struct FieldSpan {
    std::size_t offset;
    std::size_t width;
};

constexpr FieldSpan kTitle{3, 30};
constexpr FieldSpan kArtist{33, 30};
constexpr FieldSpan kAlbum{63, 30};
constexpr FieldSpan kYear{93, 4};
constexpr FieldSpan kComment{97, 30};

// The field's bytes up to the first zero byte, without trailing spaces and
// control characters; leading ones are kept.
std::string ReadTextField(const std::uint8_t* block, FieldSpan span) {
    const std::uint8_t* begin = block + span.offset;
    const std::uint8_t* end = std::find(begin, begin + span.width, 0);
    while (end != begin && end[-1] <= 32)
        --end;
    return std::string(begin, end);
}

void WriteTextField(TagBlockBytes& block, FieldSpan span, std::string_view text) {
    const std::size_t kept = std::min(text.size(), span.width);
    std::fill_n(block.begin() + span.offset, span.width, 0x20);
    std::copy_n(text.begin(), kept, block.begin() + span.offset);
}

} // namespace

const std::array<std::string_view, 148>& GenreList() {
    static const std::array<std::string_view, 148> kGenres = {
        "Blues",
        "Classic Rock",
        "Country",
        "Dance",
        "Disco",
        "Funk",
        "Grunge",
        "Hip-Hop",
        "Jazz",
        "Metal",
        "New Age",
        "Oldies",
        "Other",
        "Pop",
        "R&B",
        "Rap",
        "Reggae",
        "Rock",
        "Techno",
        "Industrial",
        "Alternative",
        "Ska",
        "Death Metal",
        "Pranks",
        "Soundtrack",
        "Euro-Techno",
        "Ambient",
        "Trip-Hop",
        "Vocal",
        "Jazz+Funk",
        "Fusion",
        "Trance",
        "Classical",
        "Instrumental",
        "Acid",
        "House",
        "Game",
        "Sound Clip",
        "Gospel",
        "Noise",
        "AlternRock",
        "Bass",
        "Soul",
        "Punk",
        "Space",
        "Meditative",
        "Instrumental Pop",
        "Instrumental Rock",
        "Ethnic",
        "Gothic",
        "Darkwave",
        "Techno-Industrial",
        "Electronic",
        "Pop-Folk",
        "Eurodance",
        "Dream",
        "Southern Rock",
        "Comedy",
        "Cult",
        "Gangsta",
        "Top 40",
        "Christian Rap",
        "Pop/Funk",
        "Jungle",
        "Native American",
        "Cabaret",
        "New Wave",
        "Psychedelic",
        "Rave",
        "Showtunes",
        "Trailer",
        "Lo-Fi",
        "Tribal",
        "Acid Punk",
        "Acid Jazz",
        "Polka",
        "Retro",
        "Musical",
        "Rock & Roll",
        "Hard Rock",
        "Folk",
        "Folk/Rock",
        "National Folk",
        "Swing",
        "Fast Fusion",
        "Bebob",
        "Latin",
        "Revival",
        "Celtic",
        "Bluegrass",
        "Avantgarde",
        "Gothic Rock",
        "Progressive Rock",
        "Psychedelic Rock",
        "Symphonic Rock",
        "Slow Rock",
        "Big Band",
        "Chorus",
        "Easy Listening",
        "Acoustic",
        "Humour",
        "Speech",
        "Chanson",
        "Opera",
        "Chamber Music",
        "Sonata",
        "Symphony",
        "Booty Bass",
        "Primus",
        "Porn Groove",
        "Satire",
        "Slow Jam",
        "Club",
        "Tango",
        "Samba",
        "Folklore",
        "Ballad",
        "Power Ballad",
        "Rhythmic Soul",
        "Freestyle",
        "Duet",
        "Punk Rock",
        "Drum Solo",
        "Acapella",
        "Euro-House",
        "Dance Hall",
        "Goa",
        "Drum & Bass",
        "Club-House",
        "Hardcore",
        "Terror",
        "Indie",
        "BritPop",
        "Negerpunk",
        "Polsk Punk",
        "Beat",
        "Christian Gangs",
        "Heavy Metal",
        "Black Metal",
        "Crossover",
        "Contemporary Ch?",
        "Cristian Rock",
        "Merengue",
        "Salsa",
        "Thrash Metal",
        "Anime",
        "JPop",
        "Synthpop",
    };
    return kGenres;
}

Result<void> TID3v1Tag::ReadFromStream(std::istream& in, std::int64_t count) {
    if (count < kBlockSize) {
        Present = false;
        return {};
    }
    TagBlockBytes block{};
    in.clear();
    in.seekg(count - kBlockSize, std::ios::cur);
    in.read(reinterpret_cast<char*>(block.data()), kBlockSize);
    if (in.gcount() != kBlockSize)
        return Error{ErrorCategory::Internal, -1, "the ID3v1 tag could not be read"};
    ParseBlock(block.data(), kBlockSize);
    return {};
}

void TID3v1Tag::ParseBlock(const std::uint8_t* block, std::int64_t length) {
    Present = false;
    if (length < kBlockSize)
        return;
    if (ReadTextField(block, {0, 3}) != "TAG")
        return;
    Present = true;
    Title = ReadTextField(block, kTitle);
    Artist = ReadTextField(block, kArtist);
    Album = ReadTextField(block, kAlbum);
    Year = ReadTextField(block, kYear);
    Comment = ReadTextField(block, kComment);
    FullComment = !(block[125] == 0 && block[126] != 0);
    GenreId = block[127];
    GenreName = GenreId < GenreList().size() ? std::string(GenreList()[GenreId]) : std::string();
}

void TID3v1Tag::SetField(int field, std::string_view text) {
    const auto cut = [text](std::size_t width) { return std::string(text.substr(0, width)); };
    switch (field) {
    case 1:
        Title = cut(30);
        break;
    case 2:
        Artist = cut(30);
        break;
    case 3:
        Year = cut(4);
        break;
    case 4:
        Album = cut(30);
        break;
    case 5:
        Comment = cut(FullComment ? 30 : 28);
        break;
    default:
        break;
    }
}

TagBlockBytes EncodeTagBlock(std::string_view title, std::string_view artist,
                             std::string_view album, std::string_view year,
                             std::string_view comment, std::uint8_t genre) {
    TagBlockBytes block{};
    block[0] = 'T';
    block[1] = 'A';
    block[2] = 'G';
    WriteTextField(block, kTitle, title);
    WriteTextField(block, kArtist, artist);
    WriteTextField(block, kAlbum, album);
    WriteTextField(block, kYear, year);
    WriteTextField(block, kComment, comment);
    block[127] = genre;
    return block;
}
