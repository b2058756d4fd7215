// assets_web.cpp -- the web build's asset blob is carried packed (see
// tools/release/pack_web.py) and unpacked into place before the show starts.
#include "assets/assets_web.h"

#include <cstdlib>

#include "assets/assets.h"
#include "release/unpack_cm.h"

extern "C" const uint8_t assets_packed[];
extern "C" const uint32_t assets_packed_size;

bool unpack_assets(void)
{
    CmTable table;
    if (assets_packed_size < sizeof table)
        return false;
    __builtin_memcpy(&table, assets_packed, sizeof table);
    uint32_t covered = 0;
    for (uint32_t i = 0; i < table.count && i < CM_MAX_PIECES; i++)
        covered += table.piece[i].size;
    if (table.magic[0] != CM_MAGIC0 || table.magic[1] != CM_MAGIC1 || covered != uint32_t(ASSET_BLOB_SIZE))
        return false;
    // The decoder's counters are wanted only now: heap the show gets back.
    Cm* cm = static_cast<Cm*>(malloc(sizeof(Cm)));
    if (!cm)
        return false;
    // The blob is only read once the show runs; until then it is this room.
    const int result = cm_unpack_image(&table, assets_packed + sizeof table, assets_packed_size - sizeof table,
                                       asset_blob, ASSET_BLOB_SIZE, cm);
    free(cm);
    return result == 0;
}
