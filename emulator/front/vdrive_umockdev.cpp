#include "vdrive_umockdev.h"

#include "vdrive_sgio.h"

#include <umockdev.h>

#include <scsi/sg.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <memory>

namespace kelcard {

const char* const kScsiListing =
    "Attached devices: \n"
    "Host: scsi0 Channel: 00 Id: 00 Lun: 00\n"
    "  Vendor: ATA      Model: VIRTUAL DISK     Rev: 1.0 \n"
    "  Type:   Direct-Access                    ANSI  SCSI revision: 05\n"
    "Host: scsi1 Channel: 00 Id: 00 Lun: 00\n"
    "  Vendor: TAV      Model: Virtual CDROM    Rev: 1.00\n"
    "  Type:   CD-ROM                           ANSI  SCSI revision: 05\n";

}  // namespace kelcard

namespace {

constexpr const char* kCardDevice = "P: /devices/virtual/scsi_generic/sg1\nN: sg1\nE: SUBSYSTEM=scsi_generic\n";
constexpr int kSgVersion = 30536;  // 3.5.36

// Blocks of the client's memory; writes to `data` go back to the client on completion.
struct IoctlDataUnref {
    void operator()(UMockdevIoctlData* data) const { g_object_unref(data); }
};
using IoctlData = std::unique_ptr<UMockdevIoctlData, IoctlDataUnref>;

// `len` bytes at the client pointer stored at `offset` of `parent`; null on failure.
IoctlData Resolve(UMockdevIoctlData* parent, std::size_t offset, std::size_t len)
{
    GError* error = nullptr;
    IoctlData data(umockdev_ioctl_data_resolve(parent, offset, len, &error));
    if (error != nullptr) g_error_free(error);
    if (data && static_cast<std::size_t>(data->data_len) < len) data.reset();
    return data;
}

gboolean Fail(UMockdevIoctlClient* client, int error)
{
    umockdev_ioctl_client_complete(client, -1, error);
    return TRUE;
}

gboolean AnswerVersion(UMockdevIoctlClient* client)
{
    IoctlData version = Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(int));
    if (!version) return Fail(client, EFAULT);
    std::memcpy(version->data, &kSgVersion, sizeof(kSgVersion));
    umockdev_ioctl_client_complete(client, 0, 0);
    return TRUE;
}

gboolean AnswerSgIo(kelcard::VirtualDrive& drive, UMockdevIoctlClient* client)
{
    IoctlData header = Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(sg_io_hdr_t));
    if (!header) return Fail(client, EFAULT);
    sg_io_hdr_t io;
    std::memcpy(&io, header->data, sizeof(io));

    kelcard::DriveDirection direction;
    bool dataPhase = false;
    if (const int error = kelcard::CheckSgIo(io, direction, dataPhase); error != 0) return Fail(client, error);
    IoctlData cdb = Resolve(header.get(), offsetof(sg_io_hdr_t, cmdp), io.cmd_len);
    if (!cdb) return Fail(client, EFAULT);
    IoctlData data;
    if (dataPhase) {
        data = Resolve(header.get(), offsetof(sg_io_hdr_t, dxferp), io.dxfer_len);
        if (!data) return Fail(client, EFAULT);
    }

    const kelcard::DriveOutcome outcome = drive.Execute(cdb->data, io.cmd_len, direction,
                                                        data ? data->data : nullptr, data ? io.dxfer_len : 0);
    // The sense area is reached only for a check condition (each resolve is a round
    // trip to the client).
    IoctlData sense;
    if (!outcome.good && io.sbp != nullptr && io.mx_sb_len != 0)
        sense = Resolve(header.get(), offsetof(sg_io_hdr_t, sbp), std::min<std::size_t>(io.mx_sb_len,
                                                                                         kelcard::kDriveSenseLen));
    kelcard::CompleteSgIo(outcome, dataPhase, sense ? sense->data : nullptr, io);
    std::memcpy(header->data, &io, sizeof(io));
    umockdev_ioctl_client_complete(client, 0, 0);
    return TRUE;
}

}  // namespace

// The ioctl handler: a UMockdevIoctlBase subclass (umockdev passes requests it does
// not know itself, SG_IO among them, only to a subclass's handle_ioctl).
extern "C" {
struct KelcardDriveIoctl {
    UMockdevIoctlBase parent;
    kelcard::VirtualDrive* drive;
};
struct KelcardDriveIoctlClass {
    UMockdevIoctlBaseClass parent;
};
}

G_DEFINE_TYPE(KelcardDriveIoctl, kelcard_drive_ioctl, umockdev_ioctl_base_get_type())

static gboolean kelcard_drive_ioctl_handle(UMockdevIoctlBase* base, UMockdevIoctlClient* client)
{
    auto* self = reinterpret_cast<KelcardDriveIoctl*>(base);
    const gulong request = umockdev_ioctl_client_get_request(client);
    if (request == SG_IO && self->drive != nullptr) return AnswerSgIo(*self->drive, client);
    if (request == SG_GET_VERSION_NUM) return AnswerVersion(client);
    return Fail(client, ENOTTY);
}

static void kelcard_drive_ioctl_class_init(KelcardDriveIoctlClass* klass)
{
    reinterpret_cast<UMockdevIoctlBaseClass*>(klass)->handle_ioctl = kelcard_drive_ioctl_handle;
}

static void kelcard_drive_ioctl_init(KelcardDriveIoctl* self)
{
    self->drive = nullptr;
}

namespace kelcard {

struct DriveSandbox::Impl {
    UMockdevTestbed* testbed = nullptr;
    KelcardDriveIoctl* handler = nullptr;
    std::string root;

    ~Impl()
    {
        if (testbed != nullptr && handler != nullptr) umockdev_testbed_detach_ioctl(testbed, kCardNode, nullptr);
        if (handler != nullptr) g_object_unref(handler);
        if (testbed != nullptr) g_object_unref(testbed);  // removes the sandbox directory
    }
};

DriveSandbox::DriveSandbox(VirtualDrive& drive) : m_drive(drive) {}

DriveSandbox::~DriveSandbox() = default;

bool DriveSandbox::Start(std::string* error)
{
    auto fail = [error](const std::string& message) {
        if (error != nullptr) *error = message;
        return false;
    };
    if (m_impl) return fail("the sandbox is already made");
    m_impl = std::make_unique<Impl>();
    m_impl->testbed = umockdev_testbed_new();
    if (m_impl->testbed == nullptr) return fail("cannot make the device sandbox");
    gchar* root = umockdev_testbed_get_root_dir(m_impl->testbed);
    m_impl->root = root;
    g_free(root);

    const std::string procDir = m_impl->root + "/proc/scsi";
    if (g_mkdir_with_parents(procDir.c_str(), 0755) != 0) return fail("cannot make " + procDir);
    {
        std::ofstream listing(procDir + "/scsi", std::ios::binary);
        listing << kScsiListing;
        if (!listing.flush()) return fail("cannot write " + procDir + "/scsi");
    }

    GError* gerror = nullptr;
    if (!umockdev_testbed_add_from_string(m_impl->testbed, kCardDevice, &gerror)) {
        const std::string message = std::string("cannot add the drive: ") + (gerror ? gerror->message : "?");
        if (gerror != nullptr) g_error_free(gerror);
        return fail(message);
    }
    m_impl->handler = static_cast<KelcardDriveIoctl*>(g_object_new(kelcard_drive_ioctl_get_type(), nullptr));
    m_impl->handler->drive = &m_drive;
    if (!umockdev_testbed_attach_ioctl(m_impl->testbed, kCardNode, reinterpret_cast<UMockdevIoctlBase*>(m_impl->handler),
                                       &gerror)) {
        const std::string message = std::string("cannot attach the drive: ") + (gerror ? gerror->message : "?");
        if (gerror != nullptr) g_error_free(gerror);
        g_object_unref(m_impl->handler);
        m_impl->handler = nullptr;
        return fail(message);
    }
    return true;
}

std::string DriveSandbox::RootDir() const
{
    return m_impl ? m_impl->root : std::string();
}

std::vector<std::string> SandboxEnvironment(char* const* base, const std::string& root)
{
    std::string preload, asanOptions;
    std::vector<std::string> env;
    auto valueOf = [](const std::string& entry, const char* name, std::string& value) {
        const std::size_t n = std::strlen(name);
        if (entry.compare(0, n, name) != 0 || entry.size() <= n || entry[n] != '=') return false;
        value = entry.substr(n + 1);
        return true;
    };
    for (char* const* e = base; e != nullptr && *e != nullptr; ++e) {
        const std::string entry(*e);
        std::string ignored;
        if (valueOf(entry, "LD_PRELOAD", preload) || valueOf(entry, "ASAN_OPTIONS", asanOptions) ||
            valueOf(entry, "UMOCKDEV_DIR", ignored))
            continue;
        env.push_back(entry);
    }
    env.push_back("LD_PRELOAD=" + (preload.empty() ? std::string() : preload + ":") + kUmockdevPreload);
    env.push_back("UMOCKDEV_DIR=" + root);
    env.push_back("ASAN_OPTIONS=" + (asanOptions.empty() ? std::string() : asanOptions + ":") +
                  "verify_asan_link_order=0");
    return env;
}

}  // namespace kelcard
