// The generated benchmark set (bench_data.h). Integer arithmetic and a fixed pseudo-random
// sequence only: no floating point and no standard distributions, whose results may differ
// between libraries.
#include "bench_data.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace vrax::bench {
namespace {

constexpr std::size_t MiB = std::size_t(1) << 20;
constexpr std::size_t FILE_SIZE = 4 * MiB;

// splitmix64: small, fast and the same everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    // A number in [0, n).
    std::uint32_t below(std::uint32_t n) { return std::uint32_t((next() >> 32) * n >> 32); }
    // True with probability 1 / n.
    bool one_in(std::uint32_t n) { return below(n) == 0; }

private:
    std::uint64_t state_;
};

void put_le(std::vector<std::uint8_t>& out, std::uint64_t value, unsigned bytes) {
    for (unsigned k = 0; k < bytes; ++k) out.push_back(std::uint8_t(value >> (8 * k)));
}

void put_be(std::vector<std::uint8_t>& out, std::uint64_t value, unsigned bytes) {
    for (unsigned k = bytes; k-- > 0;) out.push_back(std::uint8_t(value >> (8 * k)));
}

// `text` left-aligned in a field of `width` bytes, padded with spaces.
void put_field(std::vector<std::uint8_t>& out, std::string_view text, std::size_t width) {
    for (std::size_t k = 0; k < width; ++k) out.push_back(k < text.size() ? text[k] : ' ');
}

// `value` in decimal, right-aligned in `width` bytes (zero-padded when `zeros`).
void put_decimal(std::vector<std::uint8_t>& out, std::uint64_t value, std::size_t width,
                 bool zeros) {
    std::string digits;
    do {
        digits.insert(digits.begin(), char('0' + value % 10));
        value /= 10;
    } while (value != 0);
    out.insert(out.end(), width > digits.size() ? width - digits.size() : 0, zeros ? '0' : ' ');
    out.insert(out.end(), digits.begin(), digits.end());
}

// --- greyscale16.raw ---

// True when (x, y) lies inside the ellipse with centre (cx, cy) and radii rx, ry.
bool inside(std::int64_t x, std::int64_t y, std::int64_t cx, std::int64_t cy, std::int64_t rx,
            std::int64_t ry) {
    const std::int64_t dx = x - cx, dy = y - cy;
    return dx * dx * ry * ry + dy * dy * rx * rx <= rx * rx * ry * ry;
}

std::vector<std::uint8_t> greyscale_image() {
    constexpr std::int64_t W = 2048, H = 1024, CELL = 64;
    constexpr std::int64_t GX = W / CELL + 1, GY = H / CELL + 1;
    Random random(1);
    // Low-frequency variation of the tissue: a coarse grid of levels, interpolated bilinearly.
    std::array<std::int64_t, GX * GY> grid;
    for (auto& level : grid) level = random.below(400);
    struct Organ {
        std::int64_t cx, cy, rx, ry, level;
    };
    std::vector<Organ> organs;
    for (int k = 0; k < 12; ++k)
        organs.push_back({500 + random.below(1048), 250 + random.below(524), 40 + random.below(160),
                          30 + random.below(120), 300 + random.below(2200)});

    std::vector<std::uint8_t> out;
    out.reserve(W * H * 2);
    for (std::int64_t y = 0; y < H; ++y) {
        for (std::int64_t x = 0; x < W; ++x) {
            std::int64_t value = random.one_in(50) ? 1 : 0;  // air
            if (inside(x, y, W / 2, H / 2, 920, 480)) {
                const std::int64_t gx = x / CELL, gy = y / CELL, fx = x % CELL, fy = y % CELL;
                auto at = [&](std::int64_t i, std::int64_t j) { return grid[j * GX + i]; };
                const std::int64_t field =
                    (at(gx, gy) * (CELL - fx) * (CELL - fy) + at(gx + 1, gy) * fx * (CELL - fy) +
                     at(gx, gy + 1) * (CELL - fx) * fy + at(gx + 1, gy + 1) * fx * fy) /
                    (CELL * CELL);
                value = 800 + field;
                if (!inside(x, y, W / 2, H / 2, 900, 462)) value += 600;  // skin
                for (const Organ& o : organs)
                    if (inside(x, y, o.cx, o.cy, o.rx, o.ry)) value += o.level;
                value += std::int64_t(random.below(13)) + random.below(13) - 12;  // sensor noise
                value = std::clamp<std::int64_t>(value, 0, 4095);
            }
            put_le(out, std::uint64_t(value), 2);
        }
    }
    return out;
}

// --- records.db ---

std::vector<std::uint8_t> database_records() {
    constexpr std::string_view SURNAMES[] = {
        "Nowak",        "Kowalski", "Schmidt",     "Garcia",   "Rossi",   "Smith",   "Dubois",
        "Jansen",       "Novak",    "Horvath",     "Andersen", "Fischer", "Moreau",  "Silva",
        "Ivanova",      "Kaminski", "Lewandowski", "Weber",    "Martin",  "Bianchi", "Svensson",
        "Papadopoulos", "Kovacs",   "Murphy",      "Lambert",  "Wojcik",  "Becker",  "Ferrari"};
    constexpr std::string_view GIVEN[] = {"Anna",  "Jan",   "Maria", "Piotr", "Eva",    "Luca",
                                          "Sofia", "Marek", "Elena", "Tomas", "Ingrid", "Paul",
                                          "Clara", "Ivan",  "Nora",  "Karl",  "Zofia",  "Adam"};
    constexpr std::string_view CITIES[] = {"Warszawa",  "Krakow",    "Berlin", "Hamburg", "Paris",
                                           "Lyon",      "Madrid",    "Roma",   "Milano",  "Wien",
                                           "Praha",     "Budapest",  "Gdansk", "Poznan",  "Oslo",
                                           "Amsterdam", "Rotterdam", "Lisboa", "Athina",  "Dublin"};
    constexpr std::string_view STATUS = "AAAAAAPPCX";
    constexpr std::string_view CURRENCIES[] = {"PLN", "PLN", "EUR", "EUR", "EUR", "USD"};
    constexpr std::size_t RECORD = 96;
    constexpr auto pick = [](Random& random, const auto& list) {
        return list[random.below(std::uint32_t(std::size(list)))];
    };
    Random random(2);
    std::vector<std::uint8_t> out;
    out.reserve(FILE_SIZE);
    std::uint64_t key = 1'000'000;
    std::uint64_t timestamp = 820'454'400;  // 1996-01-01
    while (out.size() + RECORD <= FILE_SIZE) {
        key += random.one_in(8) ? 1 + random.below(5) : 1;
        timestamp += random.below(900);
        put_decimal(out, key, 10, true);
        put_field(out, pick(random, SURNAMES), 16);
        put_field(out, pick(random, GIVEN), 12);
        put_field(out, pick(random, CITIES), 16);
        put_decimal(out, 1995 + random.below(30), 4, true);
        out.push_back('-');
        put_decimal(out, 1 + random.below(12), 2, true);
        out.push_back('-');
        put_decimal(out, 1 + random.below(28), 2, true);
        put_decimal(out, std::uint64_t(random.below(100)) * random.below(1000), 9, false);
        out.push_back('.');
        put_decimal(out, random.below(100), 2, true);
        out.push_back(std::uint8_t(pick(random, STATUS)));
        put_field(out, pick(random, CURRENCIES), 3);
        put_le(out, 1 + random.below(50), 4);                      // quantity
        put_le(out, 1 + random.below(random.below(5000) + 1), 4);  // customer, small ones common
        put_le(out, timestamp, 4);
        put_le(out, random.one_in(4) ? 0x0101 : 0x0001, 2);  // flags
        put_le(out, 0, 2);
    }
    return out;
}

// --- counters-be.bin ---

std::vector<std::uint8_t> big_endian_counters() {
    Random random(3);
    std::vector<std::uint8_t> out;
    out.reserve(FILE_SIZE);
    for (unsigned width : {2u, 3u, 4u, 8u}) {
        const std::uint64_t mask =
            width == 8 ? ~std::uint64_t(0) : (std::uint64_t(1) << (8 * width)) - 1;
        std::uint64_t value = random.next() & mask;
        for (std::size_t k = 0; k < MiB / width; ++k) put_be(out, value++ & mask, width);
    }
    return out;
}

// --- sequence.acgt ---

std::vector<std::uint8_t> small_alphabet_sequence() {
    constexpr char BASES[] = {'A', 'C', 'G', 'T'};
    // Chance in 256 of each next base after each base: a mild bias, as in real genomes.
    constexpr std::uint32_t NEXT[4][4] = {
        {84, 48, 56, 68}, {70, 64, 30, 92}, {60, 58, 64, 74}, {52, 56, 70, 78}};
    Random random(4);
    std::vector<std::uint8_t> out;
    out.reserve(FILE_SIZE);
    unsigned previous = 0;
    while (out.size() < FILE_SIZE) {
        if (out.size() > 1000 && random.one_in(300)) {
            // A repeat: an earlier stretch again, with a point mutation in about one base of 100.
            const std::size_t back =
                1 + random.below(std::uint32_t(std::min<std::size_t>(out.size(), 200'000)));
            const std::size_t length =
                std::min<std::size_t>(20 + random.below(480), FILE_SIZE - out.size());
            const std::size_t from = out.size() - back;
            for (std::size_t k = 0; k < length; ++k)
                out.push_back(random.one_in(100) ? BASES[random.below(4)] : out[from + k]);
            continue;
        }
        std::uint32_t roll = random.below(256);
        unsigned base = 0;
        while (base < 3 && roll >= NEXT[previous][base]) roll -= NEXT[previous][base++];
        out.push_back(BASES[base]);
        previous = base;
    }
    return out;
}

// --- text-utf8.txt ---

struct Language {
    std::vector<std::string_view> onsets, vowels, codas;
    std::string_view chapter;
};

const Language POLISH{
    {"",  "b", "c", "cz", "d",   "dz", "g",  "h",  "j",  "k", "l", "ł",
     "m", "n", "p", "pr", "prz", "r",  "rz", "s",  "sz", "ś", "t", "tr",
     "w", "z", "ż", "ch", "st",  "sp", "kr", "gł", "zw", "ws"},
    {"a", "e", "i", "o", "u", "y", "ą", "ę", "ó", "ie", "ia", "a", "e", "o"},
    {"", "", "", "", "n", "m", "ł", "k", "ć", "ś", "ń", "j", "r", "st", "sz", "ż"},
    "Rozdział"};

const Language RUSSIAN{
    {"",  "б", "в", "г", "д", "ж", "з", "к",  "л",  "м",  "н",  "п",  "р",  "с",
     "т", "ф", "х", "ц", "ч", "ш", "щ", "пр", "ст", "тр", "кр", "вл", "зд", "сл"},
    {"а", "е", "и", "о", "у", "ы", "я", "ю", "ё", "э", "а", "о", "е"},
    {"", "", "", "", "н", "м", "л", "к", "т", "й", "р", "ст", "ь", "сь", "в"},
    "Глава"};

// A vocabulary of the language, most frequent words first: short words lead.
std::vector<std::string> vocabulary(const Language& language, Random& random) {
    auto pick = [&](const std::vector<std::string_view>& list) {
        return list[random.below(std::uint32_t(list.size()))];
    };
    std::vector<std::string> words;
    for (int k = 0; k < 6000; ++k) {
        const std::uint32_t roll = random.below(100);
        const int syllables = k < 40 ? 1 : roll < 25 ? 1 : roll < 65 ? 2 : roll < 92 ? 3 : 4;
        std::string word;
        for (int s = 0; s < syllables; ++s) {
            word += pick(language.onsets);
            word += pick(language.vowels);
            if (s + 1 == syllables || random.one_in(4)) word += pick(language.codas);
        }
        words.push_back(word);
    }
    return words;
}

// The first letter of a sentence in upper case: ASCII, the Polish letters ś ż ł (one code point
// below in Latin Extended-A), and Cyrillic а..я and ё.
void capitalise(std::string& word) {
    auto b = [&](std::size_t k) { return std::uint8_t(word[k]); };
    if (b(0) >= 'a' && b(0) <= 'z') {
        word[0] = char(b(0) - 32);
    } else if (word.size() >= 2 && b(0) == 0xC5 && (b(1) == 0x9B || b(1) == 0xBC || b(1) == 0x82)) {
        word[1] = char(b(1) - 1);
    } else if (word.size() >= 2 && b(0) == 0xD0 && b(1) >= 0xB0) {
        word[1] = char(b(1) - 0x20);
    } else if (word.size() >= 2 && b(0) == 0xD1 && b(1) <= 0x8F) {
        word[0] = char(0xD0);
        word[1] = char(b(1) + 0x20);
    } else if (word.size() >= 2 && b(0) == 0xD1 && b(1) == 0x91) {
        word[0] = char(0xD0);
        word[1] = char(0x81);
    }
}

std::vector<std::uint8_t> utf8_text() {
    Random random(5);
    const Language* languages[] = {&POLISH, &RUSSIAN};
    std::vector<std::string> words[2];
    for (int l = 0; l < 2; ++l) words[l] = vocabulary(*languages[l], random);
    // Zipf's law: the word of rank r is drawn with weight 1 / (r + 1).
    std::vector<std::uint64_t> cumulative;
    std::uint64_t sum = 0;
    for (std::size_t r = 0; r < words[0].size(); ++r)
        cumulative.push_back(sum += 1'000'000 / (r + 1));

    std::string text;
    for (int chapter = 1; text.size() < FILE_SIZE; ++chapter) {
        const int l = chapter % 2 == 1 ? 0 : 1;
        text += std::string(languages[l]->chapter) + " " + std::to_string(chapter) + "\n\n";
        for (int paragraph = 0; paragraph < 20 && text.size() < FILE_SIZE; ++paragraph) {
            const int sentences = 3 + int(random.below(6));
            for (int s = 0; s < sentences; ++s) {
                const int count = 4 + int(random.below(14));
                for (int w = 0; w < count; ++w) {
                    const std::uint64_t roll = random.next() % sum;
                    std::string word = words[l][std::size_t(
                        std::upper_bound(cumulative.begin(), cumulative.end(), roll) -
                        cumulative.begin())];
                    if (w == 0) capitalise(word);
                    text += word;
                    if (w + 1 == count) {
                        const std::uint32_t end = random.below(100);
                        text += end < 85 ? "." : end < 93 ? "?" : "!";
                    } else if (random.one_in(10)) {
                        text += ",";
                    }
                    text += w + 1 == count && s + 1 == sentences ? "\n\n" : " ";
                }
            }
        }
    }
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace

std::vector<GeneratedFile> generated_set() {
    std::vector<GeneratedFile> files;
    files.push_back({"greyscale16.raw", greyscale_image()});
    files.push_back({"records.db", database_records()});
    files.push_back({"counters-be.bin", big_endian_counters()});
    files.push_back({"sequence.acgt", small_alphabet_sequence()});
    files.push_back({"text-utf8.txt", utf8_text()});
    return files;
}

}  // namespace vrax::bench
