#include "tests/linuxdevices/umockdevbed.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace orv::test {
namespace {

thread_local bool tInDeviceHandler = false;

std::vector<gchar*> Pairs(const std::vector<std::string>& values_I)
{
  std::vector<gchar*> pointers;
  for (const std::string& value : values_I) pointers.push_back(const_cast<gchar*>(value.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client_I, gpointer handler_I)
{
  tInDeviceHandler = true;
  CIoctlCall call(client_I);
  (*static_cast<IoctlHandler*>(handler_I))(call);
  return TRUE;
}

}  // namespace

bool InDeviceHandler() { return tInDeviceHandler; }

UMockdevIoctlData* CIoctlCall::Resolved(size_t size_I, UMockdevIoctlData* within_I, size_t offset_I)
{
  GError* error = nullptr;
  UMockdevIoctlData* data = umockdev_ioctl_data_resolve(
      within_I != nullptr ? within_I : umockdev_ioctl_client_get_arg(mClient), offset_I, size_I, &error);
  if (data == nullptr) {
    if (error != nullptr) g_error_free(error);
    return nullptr;
  }
  mResolved.push_back(data);
  return data;
}

uint8_t* CIoctlCall::Memory(size_t size_I)
{
  UMockdevIoctlData* data = Resolved(size_I);
  return data == nullptr ? nullptr : data->data;
}

void CIoctlCall::Complete(long result_I, int errno_I) { umockdev_ioctl_client_complete(mClient, result_I, errno_I); }

CIoctlCall::~CIoctlCall()
{
  for (UMockdevIoctlData* data : mResolved) umockdev_ioctl_data_unref(data);
}

CUmockdevBed::CUmockdevBed() : mBed(umockdev_testbed_new())
{
  gchar* root = umockdev_testbed_get_root_dir(mBed);
  mRoot = root;
  g_free(root);
}

CUmockdevBed::~CUmockdevBed()
{
  g_object_unref(mBed);
  for (SHandler& handler : mHandlers) g_object_unref(handler.base);
}

std::string CUmockdevBed::Add(const std::string& subsystem_I, const std::string& name_I, const std::string& parent_I,
                              const std::vector<std::string>& attributes_I, const std::vector<std::string>& properties_I)
{
  std::vector<gchar*> attributes = Pairs(attributes_I);
  std::vector<gchar*> properties = Pairs(properties_I);
  gchar* syspath = umockdev_testbed_add_devicev(mBed, subsystem_I.c_str(), name_I.c_str(),
                                                parent_I.empty() ? nullptr : parent_I.c_str(), attributes.data(),
                                                properties.data());
  if (syspath == nullptr) throw std::runtime_error("umockdev cannot add " + name_I);
  const std::string path = syspath;
  g_free(syspath);
  return path;
}

void CUmockdevBed::SetBinary(const std::string& syspath_I, const std::string& name_I, const std::vector<uint8_t>& bytes_I)
{
  umockdev_testbed_set_attribute_binary(mBed, syspath_I.c_str(), name_I.c_str(), const_cast<guint8*>(bytes_I.data()),
                                        static_cast<gssize>(bytes_I.size()));
}

void CUmockdevBed::CreateNode(const std::string& node_I, IoctlHandler handler_I, bool fifo_I)
{
  const std::string file = mRoot + node_I;
  g_mkdir_with_parents(file.substr(0, file.rfind('/')).c_str(), 0755);
  const int fd = fifo_I ? -1 : open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0666);
  if (fifo_I ? mkfifo(file.c_str(), 0666) != 0 : fd < 0) throw std::runtime_error("cannot create " + file);
  if (fd >= 0) close(fd);
  std::lock_guard<std::mutex> lock(mLock);
  SHandler& handler = mHandlers.emplace_back();
  handler.handler = std::move(handler_I);
  handler.base = umockdev_ioctl_base_new();
  g_signal_connect(handler.base, "handle-ioctl", G_CALLBACK(OnIoctl), &handler.handler);
  GError* error = nullptr;
  if (!umockdev_testbed_attach_ioctl(mBed, node_I.c_str(), handler.base, &error)) {
    const std::string message = error != nullptr ? error->message : "unknown";
    if (error != nullptr) g_error_free(error);
    throw std::runtime_error("cannot attach to " + node_I + ": " + message);
  }
}

void CUmockdevBed::Chmod(const std::string& node_I, unsigned mode_I) { chmod((mRoot + node_I).c_str(), mode_I); }

void CUmockdevBed::Uevent(const std::string& syspath_I, const char* action_I)
{
  umockdev_testbed_uevent(mBed, syspath_I.c_str(), action_I);
}

void CUmockdevBed::Remove(const std::string& syspath_I)
{
  Uevent(syspath_I, "remove");
  umockdev_testbed_remove_device(mBed, syspath_I.c_str());
}

}  // namespace orv::test
