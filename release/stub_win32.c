/* stub_win32.c -- the start of tavimo-64k.exe: unpacks the show's image and
 * runs it. No C library: its own entry point, four functions of kernel32.
 *
 * tools/release/pack_pe.py lays the packed file out so that the image's
 * memory is already reserved (a section without contents, readable,
 * writable and executable, at the base the image was linked for) and the
 * payload follows the stub's code; it fills in `table` below. The stub decodes the image
 * into place, checks it whole against its hash before anything of it runs,
 * binds its imports by name, gives its sections their page protections and
 * calls its entry point, whose exit code is the process's. A damaged file
 * ends with exit code 1. */
#include <windows.h>

#include "release/unpack_cm.h"

/* Filled in by the packer, which finds it by its magic words. */
__attribute__((used, section(".text$table"))) static const struct CmTable table = {
    {CM_MAGIC0, CM_MAGIC1}, 0, 0, 0, 0, 0, 0, {{0}}};

extern BYTE __ImageBase[];  /* the linker's: where this file is loaded */

static DWORD protection(DWORD characteristics)
{
    if (characteristics & IMAGE_SCN_MEM_EXECUTE)
        return characteristics & IMAGE_SCN_MEM_WRITE ? PAGE_EXECUTE_READWRITE : PAGE_EXECUTE_READ;
    return characteristics & IMAGE_SCN_MEM_WRITE ? PAGE_READWRITE : PAGE_READONLY;
}

/* Unpacks and binds the image; its entry point, or null for a damaged
 * file or an import that cannot be had. */
static int (*unpack_and_bind(void))(void)
{
    /* The table's contents as the packer left them, not as compiled. */
    const struct CmTable* t;
    __asm__("" : "=r"(t) : "0"(&table));
    BYTE* base = __ImageBase + t->image_offset;
    if (cm_unpack_image(t, __ImageBase + t->payload, t->payload_size, base, t->scratch, (struct Cm*)(base + t->scratch)))
        return 0;

    IMAGE_NT_HEADERS* nt = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY* dirs = nt->OptionalHeader.DataDirectory;

    /* Imports, by name, from the packer's list where the import directory
     * was: for each DLL the address of its address table (4 bytes, not
     * aligned), its name and its functions' names, each ended by a zero,
     * then an empty name; an address of 0 ends the list. */
    const char* name = (const char*)(base + dirs[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (DWORD slots; dirs[IMAGE_DIRECTORY_ENTRY_IMPORT].Size && (__builtin_memcpy(&slots, name, 4), slots);) {
        name += 4;
        HMODULE dll = LoadLibraryA(name);
        if (!dll)
            return 0;
        for (FARPROC* slot = (FARPROC*)(base + slots);; slot++) {
            while (*name++)
                ;
            if (!*name)
                break;
            if (!(*slot = GetProcAddress(dll, name)))
                return 0;
        }
        name++;
    }

    /* Page protections: the headers read-only, each section as it asks. */
    DWORD old;
    IMAGE_SECTION_HEADER* s = IMAGE_FIRST_SECTION(nt);
    if (!VirtualProtect(base, nt->OptionalHeader.SizeOfHeaders, PAGE_READONLY, &old))
        return 0;
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; i++, s++)
        if (s->Misc.VirtualSize &&
            !VirtualProtect(base + s->VirtualAddress, s->Misc.VirtualSize, protection(s->Characteristics), &old))
            return 0;

    /* Thread-local storage callbacks, as the system's loader would call
     * them for the process. */
    if (dirs[IMAGE_DIRECTORY_ENTRY_TLS].Size) {
        IMAGE_TLS_DIRECTORY* tls = (IMAGE_TLS_DIRECTORY*)(base + dirs[IMAGE_DIRECTORY_ENTRY_TLS].VirtualAddress);
        PIMAGE_TLS_CALLBACK* callback = (PIMAGE_TLS_CALLBACK*)tls->AddressOfCallBacks;
        for (; callback && *callback; callback++)
            (*callback)(base, DLL_PROCESS_ATTACH, 0);
    }
    return (int (*)(void))(base + nt->OptionalHeader.AddressOfEntryPoint);
}

void WinMainCRTStartup(void)
{
    int (*entry)(void) = unpack_and_bind();
    ExitProcess(entry ? (UINT)entry() : 1);
}
