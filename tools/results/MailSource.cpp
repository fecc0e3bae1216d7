// Mail through GMime: a single message (.eml) or an mbox folder, message after message. The
// parser keeps only offsets into the file for part contents, so a mail folder of gigabytes
// is read with the memory of one message's headers; an attachment is decoded only when it
// may be a results file and is small enough to be one.
#include <fcntl.h>
#include <gmime/gmime.h>
#include <memory>
#include <mutex>
#include <vector>

#include "Messages.h"
#include "Sources.h"

namespace vedris::results {

namespace {

struct GObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectDeleter>;
struct GFreeDeleter {
    void operator()(gpointer memory) const { g_free(memory); }
};
struct DateTimeDeleter {
    void operator()(GDateTime* time) const { g_date_time_unref(time); }
};

void initMime() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

std::string firstAddress(InternetAddressList* list) {
    for (int i = 0; list && i < internet_address_list_length(list); ++i) {
        InternetAddress* address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_MAILBOX(address))
            return lowerAscii(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)));
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            std::string inner =
                firstAddress(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)));
            if (!inner.empty())
                return inner;
        }
    }
    return {};
}

std::string sentTime(GMimeMessage* message) {
    GDateTime* date = g_mime_message_get_date(message);
    if (!date)
        return {};
    std::unique_ptr<GDateTime, DateTimeDeleter> local(g_date_time_to_local(date));
    std::unique_ptr<gchar, GFreeDeleter> text(g_date_time_format(local.get(), "%Y-%m-%dT%H:%M:%S"));
    return text ? text.get() : "";
}

bool mayBeResults(GMimePart* part, const char* filename) {
    GMimeContentType* type = g_mime_object_get_content_type(GMIME_OBJECT(part));
    if (filename)
        return hasXmlName(filename);
    return type && (g_mime_content_type_is_type(type, "text", "xml") ||
                    g_mime_content_type_is_type(type, "application", "xml"));
}

// The decoded content. The encoded size bounds it (base64 and quoted-printable only shrink),
// so a part too large to be a results file is refused before it is decoded.
std::string decode(GMimePart* part, size_t maxBytes) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (!content)
        return {};
    GMimeStream* encoded = g_mime_data_wrapper_get_stream(content);
    gint64 length = encoded ? g_mime_stream_length(encoded) : -1;
    if (length > gint64(maxBytes) * 2)
        throw SourceError(text::format(
            msg::TooLarge, {std::to_string((length >> 20) + 1), std::to_string(maxBytes >> 20)}));
    GObjectPtr<GMimeStream> decoded(g_mime_stream_mem_new());
    if (g_mime_data_wrapper_write_to_stream(content, decoded.get()) < 0)
        throw SourceError(text::format(msg::AttachmentUnreadable, {"I/O"}));
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(decoded.get()));
    return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

// A part still to be looked at, with the message whose headers tell who sent it: a message
// forwarded as an attachment keeps its own sender, so results a coordinator forwards from
// several schools are not taken for versions of one another.
struct PendingPart {
    GMimeObject* object;
    GMimeMessage* message;
    int depth;
};

class MessageWalker {
public:
    MessageWalker(std::string placePrefix, CandidateSink& sink, const SourceLimits& limits)
        : prefix_(std::move(placePrefix)), sink_(sink), limits_(limits) {}

    void walk(GMimeMessage* message) {
        std::vector<PendingPart> pending{{g_mime_message_get_mime_part(message), message, 0}};
        while (!pending.empty()) {
            PendingPart next = pending.back();
            pending.pop_back();
            if (GMIME_IS_MULTIPART(next.object)) {
                GMimeMultipart* multipart = GMIME_MULTIPART(next.object);
                for (int i = g_mime_multipart_get_count(multipart) - 1; i >= 0; --i)
                    pending.push_back(
                        {g_mime_multipart_get_part(multipart, i), next.message, next.depth});
            } else if (GMIME_IS_MESSAGE_PART(next.object)) {
                enterAttachedMessage(GMIME_MESSAGE_PART(next.object), next.depth, pending);
            } else if (GMIME_IS_PART(next.object)) {
                takePart(GMIME_PART(next.object), next.message);
            }
        }
    }

private:
    void enterAttachedMessage(GMimeMessagePart* part, int depth,
                              std::vector<PendingPart>& pending) {
        GMimeMessage* inner = g_mime_message_part_get_message(part);
        if (!inner)
            return;
        if (depth + 1 > limits_.maxMailDepth) {
            sink_.refuse(prefix_,
                         text::format(msg::MailTooDeep, {std::to_string(limits_.maxMailDepth)}));
            return;
        }
        pending.push_back({g_mime_message_get_mime_part(inner), inner, depth + 1});
    }

    void takePart(GMimePart* part, GMimeMessage* message) {
        const char* filename = g_mime_part_get_filename(part);
        if (!mayBeResults(part, filename))
            return;
        Candidate candidate;
        candidate.place = prefix_ + ": " + (filename ? filename : msg::MailNoAttachmentName);
        candidate.sender = firstAddress(g_mime_message_get_from(message));
        candidate.sent = sentTime(message);
        const char* subject = g_mime_message_get_subject(message);
        candidate.subject = subject ? subject : "";
        try {
            candidate.bytes = decode(part, limits_.file.maxBytes);
        } catch (const SourceError& e) {
            sink_.refuse(candidate.place, e.what());
            return;
        }
        sink_.take(candidate);
    }

    std::string prefix_;
    CandidateSink& sink_;
    const SourceLimits& limits_;
};

GObjectPtr<GMimeParser> openParser(const std::string& path, bool mbox) {
    GError* error = nullptr;
    GObjectPtr<GMimeStream> stream(g_mime_stream_fs_open(path.c_str(), O_RDONLY, 0, &error));
    if (!stream) {
        std::string text = error ? error->message : "";
        g_clear_error(&error);
        throw SourceError(text::format(msg::SourceUnreadable, {path, text}));
    }
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), mbox ? GMIME_FORMAT_MBOX : GMIME_FORMAT_MESSAGE);
    g_mime_parser_set_persist_stream(parser.get(), TRUE);
    return parser;
}

} // namespace

void readMail(const std::string& path, bool mbox, CandidateSink& sink, const SourceLimits& limits) {
    initMime();
    GObjectPtr<GMimeParser> parser = openParser(path, mbox);
    size_t number = 0;
    while (!g_mime_parser_eos(parser.get())) {
        GObjectPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
        if (!message) {
            if (number == 0)
                throw SourceError(path + ": " + msg::MailUnreadable);
            break;
        }
        ++number;
        MessageWalker walker(mbox ? path + "#" + std::to_string(number) : path, sink, limits);
        walker.walk(message.get());
        if (!mbox)
            break;
    }
}

} // namespace vedris::results
