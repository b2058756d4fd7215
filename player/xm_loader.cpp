// xm_loader.cpp -- reads a FastTracker 2 XM file from a stream into a Song.
//
// Patterns are unpacked into five-byte cells, instruments keep their
// envelopes and auto-vibrato, and samples become 16-bit signed data with
// SAMPLE_SPARE_VALUES spare values and a guard behind the loop, so that the
// mixer's interpolation reads one past the loop without a bounds check.
//
// The loader trusts nothing it reads: every file either loads into a song
// that is safe to play or is refused (false). A short read of a header or of
// pattern data refuses the file; sample data cut short at the end of the
// file keeps what is there and is silent after it. Counts that the player's
// tables cannot hold (song length, channels) and sizes that cannot be
// allocated are refused; loops running past their sample are clamped into it;
// note bytes that are not notes are stored as "no note". Why a file was
// refused is kept in xm_refusal; the names and the header's facts that the
// replay does not use are kept for the tools that show a module.
#include <cstdlib>
#include <cstring>

#include "player/replay.h"
#include "player/song.h"
#include "player/stream.h"
#include "player/xm_format.h"

Sample empty_sample;
uint32_t xm_mended;
uint8_t xm_refusal;

enum {
    XM_INSTRUMENT_EXTRA = 212, // sample header size, keymap, envelopes, 16 bytes
    MAX_SONG_LENGTH = 256,     // entries of the order table
    MAX_CHANNELS = 256,        // voices the channels are bound to
    NOTE_KEY_OFF_FILE = 97,
    NOTE_KEY_OFF = 255,
};

// Largest sample, in values (128 MB of data, over 25 minutes at 44100 Hz).
// Well below the sizes that overflow the int32 byte count handed to a
// SampleReader or a 32-bit allocation of 2 x length + 16 bytes, and far
// above any real module's; a corrupt header of a few bytes cannot make the
// loader allocate gigabytes.
static const uint32_t MAX_SAMPLE_LENGTH = 1u << 26;
// Most pattern cells a module may hold: 256 patterns of 256 rows (FT2's
// limits) on 256 channels, 84 MB of cells.
static const uint64_t MAX_PATTERN_CELLS = 1u << 24;

// Every allocation of the loader: a failure is remembered as the reason.
static void* allocate(size_t count, size_t size)
{
    void* memory = calloc(count, size);
    if (!memory)
        xm_refusal = XM_OUT_OF_MEMORY;
    return memory;
}

const char* xm_refusal_text(uint8_t refusal)
{
    switch (refusal) {
    case XM_LOADED: return "loaded";
    case XM_UNOPENED: return "cannot be opened";
    case XM_NOT_XM: return "not an XM module";
    case XM_OUT_OF_MEMORY: return "out of memory";
    default: return "damaged XM module (truncated or inconsistent data)";
    }
}

void xm_name_text(char* out, const char* field, int32_t bytes)
{
    int32_t end = 0;
    for (int32_t i = 0; i < bytes; i++) {
        uint8_t c = static_cast<uint8_t>(field[i]);
        out[i] = c >= 32 && c < 127 ? static_cast<char>(c) : ' ';
        if (out[i] != ' ')
            end = i + 1;
    }
    out[end] = '\0';
}

static uint16_t read_u16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

static uint32_t read_u32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// A short read is never success.
static bool read_exact(StreamHandle* stream, void* destination, uint32_t length)
{
    return stream_read(destination, length, stream) == length;
}

// Seeks to base + offset from the start; false when that is not a position
// the stream interface can name (int32).
static bool seek_to(StreamHandle* stream, int64_t base, uint32_t offset)
{
    int64_t target = base + offset;
    if (base < 0 || target > INT32_MAX)
        return false;
    stream_seek(stream, static_cast<int32_t>(target), 0);
    return true;
}

static bool read_cell(StreamHandle* stream, Cell* cell)
{
    uint8_t first;
    if (!read_exact(stream, &first, 1))
        return false;
    uint8_t fields[5] = {0, 0, 0, 0, 0};
    if (first & 0x80) {
        for (int bit = 0; bit < 5; bit++)
            if ((first & (1 << bit)) && !read_exact(stream, &fields[bit], 1))
                return false;
    } else {
        fields[0] = first;
        if (!read_exact(stream, &fields[1], 4))
            return false;
    }
    uint8_t note = fields[0];
    if (note == NOTE_KEY_OFF_FILE)
        note = NOTE_KEY_OFF;
    else if (note > NOTE_KEY_OFF_FILE) {
        note = 0;  // 98..255 are not notes: the keymap has 96 entries
        xm_mended |= XM_MENDED_NOTE;
    }
    cell->note = note;
    cell->instrument = fields[1] > 128 ? 0 : fields[1];
    cell->volume = fields[2];
    cell->effect = fields[3];
    cell->parameter = fields[4];
    return true;
}

static bool load_patterns(Song* song, StreamHandle* stream, uint32_t file_patterns)
{
    song->pattern_slots = static_cast<int32_t>(
        song->referenced_patterns > static_cast<int32_t>(file_patterns)
            ? song->referenced_patterns : static_cast<int32_t>(file_patterns));
    song->patterns = static_cast<Pattern*>(allocate(song->pattern_slots + 1, sizeof(Pattern)));
    if (!song->patterns) {
        song->pattern_slots = 0;
        return false;
    }
    size_t channels = static_cast<size_t>(song->channel_count);
    uint64_t total_cells = 0;
    for (uint32_t p = 0; p < file_patterns; p++) {
        uint8_t header[XM_PATTERN_HEADER];
        if (!read_exact(stream, header, sizeof header))
            return false;
        Pattern* pattern = &song->patterns[p];
        pattern->rows = read_u16(header + 5);
        uint16_t packed_size = read_u16(header + 7);
        size_t cell_count = static_cast<size_t>(pattern->rows) * channels;
        total_cells += cell_count;
        if (total_cells > MAX_PATTERN_CELLS)
            return false;
        if (cell_count == 0)
            continue;
        pattern->cells = static_cast<Cell*>(allocate(cell_count, sizeof(Cell)));
        if (!pattern->cells)
            return false;
        if (packed_size == 0)
            continue;
        for (size_t c = 0; c < cell_count; c++)
            if (!read_cell(stream, &pattern->cells[c]))
                return false;
    }
    // Patterns that the order table names but the file lacks: 64 empty rows.
    for (int32_t p = static_cast<int32_t>(file_patterns); p < song->referenced_patterns; p++) {
        Pattern* pattern = &song->patterns[p];
        pattern->rows = 64;
        total_cells += 64 * channels;
        if (total_cells > MAX_PATTERN_CELLS)
            return false;
        if (channels == 0)
            continue;
        pattern->cells = static_cast<Cell*>(allocate(64 * channels, sizeof(Cell)));
        if (!pattern->cells)
            return false;
    }
    return true;
}

// One 40-byte sample header into a new zeroed Sample (stored in the slot
// before anything can fail, so the caller frees it with the instrument),
// its name into `name`.
static bool load_sample_header(StreamHandle* stream, Sample** slot, char* name)
{
    Sample* sample = static_cast<Sample*>(allocate(1, sizeof(Sample)));
    if (!sample)
        return false;
    *slot = sample;
    uint8_t header[XM_SAMPLE_HEADER];
    if (!read_exact(stream, header, sizeof header))
        return false;
    memcpy(name, header + XM_SAMPLE_NAME, XM_ITEM_NAME_BYTES);
    uint32_t length = read_u32(header);
    uint32_t loop_start = read_u32(header + 4);
    uint32_t loop_length = read_u32(header + 8);
    sample->volume = header[12];
    sample->finetune = static_cast<int8_t>(header[13]);
    uint8_t type = header[14];
    sample->loop_type = LOOP_NONE;
    sample->bits = 8;
    if (type & 0x01)
        sample->loop_type = LOOP_FORWARD;
    if (type & 0x02)
        sample->loop_type = LOOP_PINGPONG;
    if (type & 0x10)
        sample->bits = 16;
    if (sample->loop_type == LOOP_NONE) {
        loop_start = 0;
        loop_length = length;
    }
    if (sample->bits == 16) {
        length /= 2;
        loop_start /= 2;
        loop_length /= 2;
    }
    if (length > MAX_SAMPLE_LENGTH)
        return false;
    // A loop running past the sample is clamped into it, so the guard value
    // and the mixer's loop end stay inside the data.
    if (static_cast<uint64_t>(loop_start) + loop_length > length) {
        xm_mended |= XM_MENDED_LOOP;
        if (loop_start > length)
            loop_start = length;
        loop_length = length - loop_start;
    }
    if (loop_length == 0) {
        loop_start = 0;
        loop_length = length;
        sample->loop_type = LOOP_NONE;
    }
    sample->length = length;
    sample->loop_start = loop_start;
    sample->loop_length = loop_length;
    sample->panning = header[15];
    sample->relative_note = static_cast<int8_t>(header[16]);
    // header[17] is reserved.
    if (length > 0) {
        size_t bytes = 2 * static_cast<size_t>(length) + 2 * SAMPLE_SPARE_VALUES;
        sample->data = static_cast<int16_t*>(allocate(bytes, 1));
        if (!sample->data)
            return false;
    }
    return true;
}

// One sample's data: read (or delivered by the reader), widened to 16 bits,
// delta-decoded, and given its guard value.
static void load_sample_data(Song* song, StreamHandle* stream, Sample* sample,
                             int32_t instrument_index, int32_t sample_index)
{
    if (sample->length == 0)
        return;
    uint32_t byte_count = sample->bits / 8 * sample->length;
    uint8_t* bytes = reinterpret_cast<uint8_t*>(sample->data);
    uint32_t received;
    if (song->sample_reader) {
        song->sample_reader(bytes, static_cast<int32_t>(byte_count), sample->bits,
                            instrument_index, sample_index);
        stream_seek(stream, static_cast<int32_t>(byte_count), 1);
        received = byte_count;
    } else {
        // A file that ends inside the data keeps what is there; the rest of
        // the sample stays silent (the buffer is zero-filled).
        received = stream_read(bytes, byte_count, stream);
        if (received != byte_count)
            xm_mended |= XM_MENDED_SAMPLE_DATA;
    }
    uint32_t values = sample->bits == 16 ? received / 2 : received;
    int16_t* data = sample->data;
    if (sample->bits == 8) {
        // In place, from the end: value i lands on bytes 2i and 2i+1, at or
        // after byte i, so no byte is overwritten before it is read.
        for (uint32_t i = values; i-- > 0;)
            data[i] = static_cast<int16_t>(static_cast<uint16_t>(bytes[i]) << 8);
        sample->bits = 16;
    } else {
        for (uint32_t i = 0; i < values; i++)  // little-endian on any host
            data[i] = static_cast<int16_t>(read_u16(bytes + 2 * i));
        if (received % 2)
            bytes[received - 1] = 0;
    }
    if (!song->sample_reader) {
        uint16_t sum = 0;
        for (uint32_t i = 0; i < values; i++) {
            sum = static_cast<uint16_t>(sum + static_cast<uint16_t>(data[i]));
            data[i] = static_cast<int16_t>(sum);
        }
    }
    uint32_t end = sample->loop_start + sample->loop_length;
    if (sample->loop_type == LOOP_PINGPONG)
        data[end] = data[end - 1];
    else
        data[end] = data[sample->loop_start];
}

static bool load_instruments(Song* song, StreamHandle* stream)
{
    int32_t count = song->instrument_count;
    song->instruments = static_cast<Instrument*>(allocate(count, sizeof(Instrument)));
    if (!song->instruments)
        return false;
    for (int32_t n = 0; n < count; n++) {
        Instrument* instrument = &song->instruments[n];
        for (int slot = 0; slot < INSTRUMENT_SAMPLES; slot++)
            instrument->samples[slot] = &empty_sample;
        int64_t start = stream_tell(stream);
        uint8_t head[XM_INSTRUMENT_START];  // size, name, type byte, sample count
        if (!read_exact(stream, head, sizeof head))
            return false;
        uint32_t header_size = read_u32(head);
        memcpy(instrument->name, head + 4, XM_ITEM_NAME_BYTES);
        uint16_t sample_count = read_u16(head + 27);
        if (sample_count > INSTRUMENT_SAMPLES)
            return false;
        if (sample_count == 0) {
            if (!seek_to(stream, start, header_size))
                return false;
            continue;
        }
        uint8_t extra[XM_INSTRUMENT_EXTRA];
        if (!read_exact(stream, extra, sizeof extra))
            return false;
        memcpy(instrument->keymap, extra + 4, KEYMAP_NOTES);
        for (int i = 0; i < ENVELOPE_POINTS; i++) {
            instrument->volume_envelope[i].x = read_u16(extra + 100 + 4 * i);
            instrument->volume_envelope[i].y = read_u16(extra + 102 + 4 * i);
            instrument->panning_envelope[i].x = read_u16(extra + 148 + 4 * i);
            instrument->panning_envelope[i].y = read_u16(extra + 150 + 4 * i);
        }
        const uint8_t* b = extra + 196;
        // The tables hold 12 points; a larger count would read past them.
        instrument->volume_points = b[0] > ENVELOPE_POINTS ? uint8_t{ENVELOPE_POINTS} : b[0];
        instrument->panning_points = b[1] > ENVELOPE_POINTS ? uint8_t{ENVELOPE_POINTS} : b[1];
        if (b[0] > ENVELOPE_POINTS || b[1] > ENVELOPE_POINTS)
            xm_mended |= XM_MENDED_ENVELOPE_POINTS;
        instrument->volume_sustain = b[2];
        instrument->volume_loop_start = b[3];
        instrument->volume_loop_end = b[4];
        instrument->panning_sustain = b[5];
        instrument->panning_loop_start = b[6];
        instrument->panning_loop_end = b[7];
        instrument->volume_type = b[8];
        instrument->panning_type = b[9];
        instrument->vibrato_type = b[10];
        instrument->vibrato_sweep = b[11];
        instrument->vibrato_depth = b[12];
        instrument->vibrato_rate = b[13];
        instrument->fadeout = static_cast<uint16_t>(read_u16(b + 14) << 1);
        if (instrument->volume_points < 2)
            instrument->volume_type = 0;
        if (instrument->panning_points < 2)
            instrument->panning_type = 0;
        if (!seek_to(stream, start, header_size))
            return false;
        // Owned slots are counted as they fill, so a refusal frees exactly them.
        for (int s = 0; s < sample_count; s++) {
            instrument->samples[s] = nullptr;
            instrument->sample_count = s + 1;
            if (!load_sample_header(stream, &instrument->samples[s],
                                    instrument->sample_names[s]))
                return false;
        }
        for (int s = 0; s < sample_count; s++)
            load_sample_data(song, stream, instrument->samples[s], n, s);
    }
    return true;
}

// The song and everything in it, after the signature.
static bool load_module(Song* song, StreamHandle* stream)
{
    song->tick_function = song_tick;
    song->initial_global_volume = 64;

    // Module name, marker byte, tracker name, version.
    uint8_t texts[XM_HEADER_OFFSET - XM_ID_BYTES];
    if (!read_exact(stream, texts, sizeof texts))
        return false;
    XmFacts* facts = &song->facts;
    memcpy(facts->name, texts, XM_MODULE_NAME_BYTES);
    memcpy(facts->tracker, texts + 21, XM_MODULE_NAME_BYTES);
    facts->version = read_u16(texts + 41);
    uint8_t header[4 + 16 + 256];
    if (!read_exact(stream, header, 4) || !read_exact(stream, header + 4, 6) ||
        !read_exact(stream, header + 10, 2) || !read_exact(stream, header + 12, 264))
        return false;
    uint32_t header_size = read_u32(header);
    facts->header_size = header_size;
    uint16_t song_length = read_u16(header + 4);
    uint16_t restart_position = read_u16(header + 6);
    uint16_t channel_count = read_u16(header + 8);
    uint16_t file_patterns = read_u16(header + 10);
    facts->file_patterns = file_patterns;
    uint16_t instrument_count = read_u16(header + 12);
    uint16_t default_bpm = read_u16(header + 18);
    // The order table has 256 entries and channels bind to the 256 voices;
    // a tick length needs a positive BPM.
    if (song_length > MAX_SONG_LENGTH || channel_count > MAX_CHANNELS ||
        default_bpm == 0 || default_bpm > INT16_MAX)
        return false;
    song->song_length = static_cast<int16_t>(song_length);
    // Play from order 0 when the restart position lies outside the song.
    song->restart_position =
        restart_position < song_length ? static_cast<int16_t>(restart_position) : 0;
    if (restart_position >= song_length && restart_position != 0)
        xm_mended |= XM_MENDED_RESTART;
    song->channel_count = static_cast<int16_t>(channel_count);
    song->instrument_count = static_cast<int16_t>(instrument_count);
    song->module_flags = static_cast<int16_t>(read_u16(header + 14));
    song->default_speed = static_cast<int16_t>(read_u16(header + 16));
    song->default_bpm = static_cast<int16_t>(default_bpm);
    memcpy(song->order_table, header + 20, 256);
    if (!seek_to(stream, XM_HEADER_OFFSET, header_size))
        return false;

    song->referenced_patterns = 0;
    for (int32_t i = 0; i < song->song_length; i++)
        if (song->order_table[i] >= song->referenced_patterns)
            song->referenced_patterns = song->order_table[i] + 1;
    if (!load_patterns(song, stream, file_patterns))
        return false;
    if (song->instrument_count <= 0)
        return true;
    return load_instruments(song, stream);
}

bool load_xm(Song* song, StreamHandle* stream)
{
    xm_mended = 0;
    xm_refusal = XM_NOT_XM;
    stream_seek(stream, 0, 0);
    char id[XM_ID_BYTES];
    if (!read_exact(stream, id, sizeof id) || memcmp(id, XM_ID, sizeof id) != 0)
        return false;
    xm_refusal = XM_DAMAGED;
    if (!load_module(song, stream))
        return false;  // XM_DAMAGED, or XM_OUT_OF_MEMORY from an allocation
    xm_refusal = XM_LOADED;
    return true;
}
