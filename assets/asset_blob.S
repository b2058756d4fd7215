// asset_blob.S -- places the asset files, concatenated by the build, in
// read-only data as the symbol asset_blob.
// C symbols carry the target's label prefix ("_" on 32-bit Windows).
#define GLUE2(a, b) a##b
#define GLUE(a, b) GLUE2(a, b)
#define SYMBOL GLUE(__USER_LABEL_PREFIX__, asset_blob)
#ifdef _WIN32
    // After the other constants, which the linker sorts before it: in the
    // packed release the code and all its constants then make one piece.
    .section .rdata$zzzz,"dr"
#elif defined(__wasm__)
    .section .rodata.asset_blob,"",@
#else
    .section .rodata
#endif
    .balign 16
    .globl SYMBOL
#ifdef __ELF__
    .type SYMBOL, @object
#endif
SYMBOL:
    .incbin ASSET_BLOB_FILE
#ifdef __wasm__
    .size SYMBOL, . - SYMBOL
#endif
#ifdef __ELF__
    .size SYMBOL, . - SYMBOL
    .section .note.GNU-stack,"",@progbits
#endif
