// Built as a libcurl.so.4 that has none of libcurl's functions, for the run that must tell the
// user that libcurl cannot be used.
extern "C" int curlStandIn()
{
    return 0;
}
