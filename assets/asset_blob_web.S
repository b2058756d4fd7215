// asset_blob_web.S -- the web build's asset blob: room for it, filled at
// start-up by unpack_assets (assets/assets_web.cpp) from the packed pieces
// placed beside it.
    .section .bss.asset_blob,"",@
    .p2align 4
    .globl asset_blob
asset_blob:
    .skip ASSET_BLOB_BYTES
    .size asset_blob, ASSET_BLOB_BYTES

    .section .rodata.assets_packed,"",@
    .p2align 2
    .globl assets_packed
assets_packed:
    .incbin ASSETS_PACKED_FILE
.Lassets_packed_end:
    .size assets_packed, .Lassets_packed_end - assets_packed
    .globl assets_packed_size
    .p2align 2
assets_packed_size:
    .int .Lassets_packed_end - assets_packed
    .size assets_packed_size, 4
