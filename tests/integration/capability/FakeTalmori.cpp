// Stands in for the host core library: the query reads the host's version
// from the file name (libtalmori.so.6.4.0.0) of whatever is loaded.
extern "C" int TalmoriFakeMarker()
{
    return 64;
}
