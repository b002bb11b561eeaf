extern "C" __attribute__((visibility("default"))) int TalmoriMarker()
{
    return 1;
}
