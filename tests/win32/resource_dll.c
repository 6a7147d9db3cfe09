/* Entry point of the resource-only test DLLs: they carry data and run nothing. */
int __stdcall ResourceDllEntry(void *module, unsigned long reason, void *reserved)
{
    (void)module, (void)reason, (void)reserved;
    return 1;
}
