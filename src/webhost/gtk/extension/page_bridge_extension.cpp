// The web-process side of the page bridge: a WebKit web extension that
// gives the page a synchronous window.external. Each method sends
// "method\0argsJSON" over a UNIX socket to the program's user-interface
// process and blocks the page until the answer comes or the call's time-out
// passes; an error or a time-out becomes a JS exception, and the call after
// a time-out opens a new connection (a late answer on the old one can then
// never be taken for the next call's).
//
// Runs in WebKit's web process on its main thread, the only thread that
// runs page script. It is built without the program's libraries and
// sanitizers (the web process is not instrumented) and reaches the program
// only through the socket named in its initialisation data.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <webkit2/webkit-web-extension.h>

#include <cstring>
#include <string>
#include <vector>

#include "webhost/bridge_wire.h"

namespace {

namespace wire = UiDeck::bridge_wire;

// Set once at initialisation; lives as long as the web process.
struct BridgeClient {
  std::string socketPath;
  std::string token;
  std::vector<std::string> methods;
  gint64 timeoutUs = 0;
  int fd = -1;
};

BridgeClient* g_client = nullptr;

void Disconnect() {
  if (g_client->fd >= 0) close(g_client->fd);
  g_client->fd = -1;
}

// Waits until fd is ready for events or the deadline (monotonic µs) passes.
bool WaitFor(int fd, short events, gint64 deadline) {
  for (;;) {
    const gint64 left = deadline - g_get_monotonic_time();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    const int ready = poll(&p, 1, static_cast<int>((left + 999) / 1000));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

bool WriteAll(int fd, const std::string& bytes, gint64 deadline) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  return true;
}

bool ReadExact(int fd, char* out, std::size_t size, gint64 deadline) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = recv(fd, out + done, size - done, 0);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLIN, deadline)) return false;
    } else {
      return false;  // closed by the program, or failed
    }
  }
  return true;
}

bool Connect(gint64 deadline) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (g_client->socketPath.size() >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path, g_client->socketPath.c_str(), g_client->socketPath.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  g_client->fd = fd;
  // A full backlog (the program is busy) answers EAGAIN: try again until
  // the deadline.
  while (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    if (errno == EINTR) continue;
    if (errno != EAGAIN || g_get_monotonic_time() >= deadline) {
      Disconnect();
      return false;
    }
    g_usleep(1000);
  }
  std::string hello;
  wire::AppendFrame(hello, g_client->token);
  if (!WriteAll(fd, hello, deadline)) {
    Disconnect();
    return false;
  }
  return true;
}

// One round trip. On failure the connection is dropped and *reply holds
// the reason.
bool Exchange(const std::string& request, std::string* reply) {
  const gint64 deadline = g_get_monotonic_time() + g_client->timeoutUs;
  if (g_client->fd < 0 && !Connect(deadline)) {
    *reply = "the program cannot be reached";
    return false;
  }
  std::string frame;
  wire::AppendFrame(frame, request);
  char header[wire::kHeaderSize];
  bool ok = WriteAll(g_client->fd, frame, deadline) &&
            ReadExact(g_client->fd, header, sizeof(header), deadline);
  if (ok) {
    const std::uint32_t size = wire::FrameSize(header);
    ok = size >= 1 && size <= wire::kMaxFrameSize;
    if (ok) {
      reply->resize(size);
      ok = ReadExact(g_client->fd, reply->data(), size, deadline);
    }
  }
  if (!ok) {
    const bool late = g_get_monotonic_time() >= deadline;
    Disconnect();
    *reply = late ? "no answer from the program in time" : "the connection to the program failed";
  }
  return ok;
}

// The body of every window.external method; data is the method's name.
JSCValue* CallProgram(GPtrArray* args, gpointer data) {
  const char* method = static_cast<const char*>(data);
  JSCContext* context = jsc_context_get_current();
  JSCValue* array = jsc_value_new_array_from_garray(context, args);
  char* argsJson = jsc_value_to_json(array, 0);
  g_object_unref(array);
  if (argsJson == nullptr) {
    // JSON.stringify threw (a cyclic object, say): that exception stands.
    if (jsc_context_get_exception(context) == nullptr)
      jsc_context_throw_printf(context, "window.external.%s: the arguments cannot be sent", method);
    return jsc_value_new_undefined(context);
  }
  std::string reply;
  const bool ok = Exchange(wire::Request(method, argsJson), &reply);
  g_free(argsJson);
  if (!ok || reply[0] != wire::kReplyResult) {
    const char* reason = ok ? reply.c_str() + 1 : reply.c_str();
    jsc_context_throw_printf(context, "window.external.%s: %s", method, reason);
    return jsc_value_new_undefined(context);
  }
  if (reply.size() == 1) return jsc_value_new_undefined(context);
  return jsc_value_new_from_json(context, reply.c_str() + 1);
}

void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage*, WebKitFrame* frame, gpointer) {
  // Only the program's own pages, which are local files, get the bridge;
  // the program refuses to show anything else, and this keeps it so should
  // that ever fail.
  const char* uri = webkit_frame_get_uri(frame);
  if (!webkit_frame_is_main_frame(frame) || uri == nullptr ||
      g_ascii_strncasecmp(uri, "file:", 5) != 0)
    return;
  JSCContext* context = webkit_frame_get_js_context_for_script_world(frame, world);
  JSCValue* external = jsc_value_new_object(context, nullptr, nullptr);
  for (const std::string& name : g_client->methods) {
    JSCValue* function =
        jsc_value_new_function_variadic(context, name.c_str(), G_CALLBACK(CallProgram),
                                        const_cast<char*>(name.c_str()), nullptr, JSC_TYPE_VALUE);
    jsc_value_object_define_property_data(external, name.c_str(), JSC_VALUE_PROPERTY_ENUMERABLE,
                                          function);
    g_object_unref(function);
  }
  // Replaces the engine's own window.external before the page's first script runs.
  jsc_context_set_value(context, "external", external);
  g_object_unref(external);
  g_object_unref(context);
}

}  // namespace

// WebKit's entry point into the module. Initialisation data: (socket path,
// token, method names, time-out in ms).
extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(
    WebKitWebExtension* extension, const GVariant* userData);

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(
    WebKitWebExtension*, const GVariant* userData) {
  auto* data = const_cast<GVariant*>(userData);
  if (data == nullptr || !g_variant_is_of_type(data, G_VARIANT_TYPE("(ssasu)"))) {
    g_warning("page bridge: no usable initialisation data");
    return;
  }
  const gchar* socketPath = nullptr;
  const gchar* token = nullptr;
  GVariantIter* names = nullptr;
  guint32 timeoutMs = 0;
  g_variant_get(data, "(&s&sasu)", &socketPath, &token, &names, &timeoutMs);
  g_client = new BridgeClient;
  g_client->socketPath = socketPath;
  g_client->token = token;
  g_client->timeoutUs = static_cast<gint64>(timeoutMs) * 1000;
  const gchar* name = nullptr;
  while (g_variant_iter_next(names, "&s", &name)) g_client->methods.emplace_back(name);
  g_variant_iter_free(names);
  g_signal_connect(webkit_script_world_get_default(), "window-object-cleared",
                   G_CALLBACK(OnWindowObjectCleared), nullptr);
}
