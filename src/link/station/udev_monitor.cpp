#include "link/station/udev_monitor.h"

#include <QSocketNotifier>

#include <cctype>
#include <regex>

#ifdef KELVOR_HAVE_UDEV
#include <libudev.h>
#endif

namespace kelvor::link {

std::string interfacePathFromDevpath(std::string_view devpath) {
    // The HID parent of a hidraw node is named BUS:VENDOR:PRODUCT.INSTANCE.
    static const std::regex kHid(R"((^|/)0003:0B7A:0731\.([0-9A-Fa-f]{4})(/|$))", std::regex::icase);
    std::cmatch m;
    if (!std::regex_search(devpath.data(), devpath.data() + devpath.size(), m, kHid)) return {};
    std::string instance = m[2].str();
    for (auto& c : instance) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return std::string(kInterfacePrefix) + "#7&" + instance + "&0&0000#" + guidText(kHidClassGuid);
}

#ifdef KELVOR_HAVE_UDEV
namespace {

class UdevMonitor final : public DeviceEventSource {
public:
    ~UdevMonitor() override {
        notifier_.reset();
        if (monitor_) udev_monitor_unref(monitor_);
        if (udev_) udev_unref(udev_);
    }

    bool start(std::function<void(const DeviceEvent&)> deliver) override {
        udev_ = udev_new();
        if (!udev_) return false;
        monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
        if (!monitor_) return false;
        if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0) return false;
        if (udev_monitor_enable_receiving(monitor_) < 0) return false;
        const int fd = udev_monitor_get_fd(monitor_);
        if (fd < 0) return false;
        deliver_ = std::move(deliver);
        // The notifier lives on the UI thread, so events arrive there.
        notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readOne(); });
        return true;
    }

private:
    void readOne() {
        udev_device* dev = udev_monitor_receive_device(monitor_);
        if (!dev) return;
        const char* action = udev_device_get_action(dev);
        const char* devpath = udev_device_get_devpath(dev);
        DeviceEvent e;
        e.path = devpath ? interfacePathFromDevpath(devpath) : std::string();
        const std::string act = action ? action : "";
        udev_device_unref(dev);
        if (e.path.empty() || (act != "add" && act != "remove")) return;
        e.kind = act == "add" ? DeviceEvent::Kind::Arrival : DeviceEvent::Kind::Removal;
        e.widePath = std::u16string(e.path.begin(), e.path.end());
        deliver_(e);
    }

    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void(const DeviceEvent&)> deliver_;
};

} // namespace

std::unique_ptr<DeviceEventSource> makeUdevMonitor() { return std::make_unique<UdevMonitor>(); }
#else
std::unique_ptr<DeviceEventSource> makeUdevMonitor() { return nullptr; }
#endif

} // namespace kelvor::link
