// Placeholder until the extraction library is built: every call fails.
extern "C" __attribute__((visibility("default"))) short Vexa_Unzip(const char*, const char*) {
    return -1;
}
