// The entry point of net.vellamoor.printerio.DataPath: what a printer sends
// back on its data path, read within the caller's time-out through the
// transport of the handle's port type.

#include <net_vellamoor_printerio_DataPath.h>

#include <cstdint>

#include "java_arrays.h"
#include "port_handle.h"
#include "transports.h"

namespace vellamoor {

static_assert(net_vellamoor_printerio_DataPath_NOTHING_CAME == kDataPathNothingCame, "DataPath.NOTHING_CAME");
static_assert(net_vellamoor_printerio_DataPath_PORT_GONE == kDataPathGone, "DataPath.PORT_GONE");

namespace {
constexpr jint kArgumentsRefused = net_vellamoor_printerio_DataPath_ARGUMENTS_REFUSED;
}  // namespace

}  // namespace vellamoor

using namespace vellamoor;

// Reads into buffer from element 0, at most its length. A handle that names
// no port reads as a port that is gone.
JNIEXPORT jint JNICALL Java_net_vellamoor_printerio_DataPath_nativeRead(JNIEnv* env, jclass, jint handle,
                                                                         jbyteArray buffer, jint timeoutMs) {
    if (timeoutMs < 0) return kArgumentsRefused;
    ByteArrayElements bytes(env, buffer);
    if (!bytes || bytes.length() == 0) return kArgumentsRefused;
    DecodedHandle port = decodePortHandle(handle);
    const Transport* transport = transportFor(port.portType);
    if (transport == nullptr) return kDataPathGone;
    return transport->readData(port.index, bytes.get(), static_cast<uint32_t>(bytes.length()), timeoutMs);
}
