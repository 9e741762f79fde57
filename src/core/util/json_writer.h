// JSON written a value at a time in the layout of the result files: four-blank indentation, one
// member or element per line, members in the order given, non-ASCII characters as they are. A
// large record is streamed to its file instead of being built and held as one text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_list.h"
#include "util/json.h"

namespace scanflow {

// Where the text goes: a string, or a file written whole or not at all (a temporary file in
// the same directory, renamed over the target by commit()).
class JsonSink {
public:
    virtual ~JsonSink() = default;
    virtual void write(std::string_view text) = 0;
};

class StringSink : public JsonSink {
public:
    void write(std::string_view text) override { text_.append(text); }
    std::string& text() { return text_; }

private:
    std::string text_;
};

class AtomicFileSink : public JsonSink {
public:
    explicit AtomicFileSink(const std::string& path);
    ~AtomicFileSink() override;  // removes the temporary file unless committed
    AtomicFileSink(const AtomicFileSink&) = delete;
    AtomicFileSink& operator=(const AtomicFileSink&) = delete;
    void write(std::string_view text) override;
    void commit();

private:
    [[noreturn]] void fail(const std::string& why);
    std::string path_, temporary_;
    std::FILE* file_ = nullptr;
};

class JsonWriter {
public:
    JsonWriter(JsonSink& sink, Unencodable policy) : sink_(sink), policy_(policy) {}

    void begin_object();
    void end_object();
    void begin_array();
    void end_array();
    // The key of the next member of the object being written.
    void key(std::string_view name);
    void string(std::string_view text);
    void number(long long value);
    void value(const Json& value);
    void strings(const std::vector<std::string>& items);
    void strings(const TextList& items);
    // Hands what is buffered to the sink; the last call once the value is complete.
    void flush();

private:
    void emit(std::string_view text) {
        buffer_.append(text);
        if (buffer_.size() >= (1u << 18)) flush();
    }
    void before_value();
    void newline();
    void escaped(std::string_view text);
    struct Level {
        bool object;
        bool empty = true;
    };
    JsonSink& sink_;
    Unencodable policy_;
    std::vector<Level> levels_;
    bool after_key_ = false;
    std::string buffer_;
};

}  // namespace scanflow
