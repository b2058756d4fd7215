// asset_blob.S -- places the asset files, concatenated by the build, in
// read-only data as the symbol asset_blob.
    .section .rodata
    .balign 16
    .globl asset_blob
#ifdef __ELF__
    .type asset_blob, @object
#endif
asset_blob:
    .incbin ASSET_BLOB_FILE
#ifdef __ELF__
    .size asset_blob, . - asset_blob
    .section .note.GNU-stack,"",@progbits
#endif
