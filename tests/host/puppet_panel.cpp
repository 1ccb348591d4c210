// A panel library for testing the host as a checker: parent messages tell it
// which command to send and how to (mis)handle the reply.
//   "send CMD"  sends CMD and hands a non-null reply back once
//   "keep CMD"  sends CMD and never hands the reply back
//   "twice CMD" sends CMD and hands the reply back twice
//   "foreign"   hands back a pointer the host never gave
//   "type N"    calls the host with type N
// The reply to the parent is the command's reply text, or null.
#include <zarn/zarn_client.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

class puppet_panel : public zarn_client_callback {
public:
    explicit puppet_panel(zarn_client_callback* host) : host_(host) {}
    ~puppet_panel() override { host_->callback(const_cast<char*>("AS"), zarn_type_command); }

    char* callback(void* data, int32_t type) override {
        if (type == zarn_type_release) {
            delete[] static_cast<char*>(data);
            return nullptr;
        }
        if (type != zarn_type_parent_message || !data) return nullptr;
        std::string message(static_cast<const char*>(data));
        std::string mode = message.substr(0, message.find(' '));
        std::string command = message.size() > mode.size() ? message.substr(mode.size() + 1) : "";
        if (mode == "foreign") {
            char* notOurs = new char[2]{'x', '\0'};
            host_->callback(notOurs, zarn_type_release);
            delete[] notOurs;
            return nullptr;
        }
        if (mode == "type") {
            host_->callback(nullptr, std::atoi(command.c_str()));
            return nullptr;
        }
        char* reply = host_->callback(const_cast<char*>(command.c_str()), zarn_type_command);
        if (!reply) return nullptr;
        std::string text(reply);
        if (mode == "send" || mode == "twice") host_->callback(reply, zarn_type_release);
        if (mode == "twice") host_->callback(reply, zarn_type_release);
        char* out = new char[text.size() + 1];
        std::memcpy(out, text.c_str(), text.size() + 1);
        return out;
    }

private:
    zarn_client_callback* host_;
};

}  // namespace

ZARN_EXPORT zarn_client_callback* load_zarn_client_script(zarn_client_callback* host, const char*) {
    return new puppet_panel(host);
}
