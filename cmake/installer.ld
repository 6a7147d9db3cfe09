/*
 * Section layout of the installer: ld's default for i386 PE, cut down to what
 * a program needs that starts in its own entry point (app/entry.cpp) rather
 * than in the C runtime's start-up. Every section with contents is padded to
 * the file alignment (512 bytes), so fewer sections make a smaller file:
 *   .text   code and read-only data                      read, execute
 *   .idata  the import tables, then the initialised data read, write
 *   .bss    zero-filled data, no bytes in the file       read, write
 *   .rsrc   resources                                    read
 *   .reloc  base relocations: the image loads at any address (ASLR)
 * ld fills the import, resource and relocation directory entries from the
 * sections of those names, so the three keep them. The import directory
 * (.idata$2) opens .idata, where the entry points.
 */
SECTIONS
{
  . = SIZEOF_HEADERS;
  . = ALIGN(__section_alignment__);
  .text __image_base__ + __section_alignment__ :
  {
    *(.text)
    *(SORT(.text$*))
    *(.text.*)
    /* Nothing runs constructors, destructors, the C runtime's initialisers
       or a thread-local storage set-up: the link fails if any are given. */
    __yelk_unsupported_start = .;
    KEEP (*(.ctors)) KEEP (*(.ctor)) KEEP (*(SORT_BY_NAME(.ctors.*)))
    KEEP (*(.dtors)) KEEP (*(.dtor)) KEEP (*(SORT_BY_NAME(.dtors.*)))
    KEEP (*(SORT(.CRT$*)))
    KEEP (*(.tls)) KEEP (*(SORT(.tls$*)))
    KEEP (*(.rdata_runtime_pseudo_reloc))
    __yelk_unsupported_end = .;
    *(.rdata)
    *(SORT(.rdata$*))
  }
  ASSERT (__yelk_unsupported_end == __yelk_unsupported_start,
          "constructors, destructors, C runtime initialisers or thread-local data: the installer's entry point runs none")

  .idata BLOCK(__section_alignment__) :
  {
    KEEP (SORT(*)(.idata$2))
    KEEP (SORT(*)(.idata$3))
    /* These zeroes mark the end of the import list. */
    LONG (0); LONG (0); LONG (0); LONG (0); LONG (0);
    KEEP (SORT(*)(.idata$4))
    __IAT_start__ = .;
    KEEP (SORT(*)(.idata$5))
    __IAT_end__ = .;
    KEEP (SORT(*)(.idata$6))
    KEEP (SORT(*)(.idata$7))
    . = ALIGN(4);
    *(.data)
    *(.data2)
    *(SORT(.data$*))
  }
  .bss BLOCK(__section_alignment__) :
  {
    *(.bss)
    *(SORT(.bss$*))
    *(COMMON)
  }
  .rsrc BLOCK(__section_alignment__) : SUBALIGN(4)
  {
    KEEP (*(.rsrc))
    KEEP (*(.rsrc$*))
  }
  .reloc BLOCK(__section_alignment__) :
  {
    *(.reloc)
  }

  /* Unwind tables (nothing in the installer unwinds), debugging information
     (the installer is stripped), the compilers' version strings and what
     only the linker reads. */
  /DISCARD/ :
  {
    *(.eh_frame*)
    *(.debug*) *(.zdebug*) *(.stab*)
    *(.rdata$zzz)
    *(.drectve)
    *(.note.GNU-stack)
    *(.gnu.lto_*)
  }
}
