#include <gtest/gtest.h>

#include <random>

#include "test_support.h"
#include "util/json.h"
#include "util/json_writer.h"

namespace scanflow {
namespace {

std::string library_dump(const Json& v, Unencodable policy) {
    return v.dump(4, ' ', false,
                  policy == Unencodable::Drop ? Json::error_handler_t::ignore
                                              : Json::error_handler_t::strict);
}

std::string written(const Json& v, Unencodable policy) {
    StringSink sink;
    JsonWriter out(sink, policy);
    out.value(v);
    out.flush();
    return sink.text();
}

TEST(JsonWriter, LaysOutEveryKindOfValueAsTheLibraryDoes) {
    Json samples = Json::array(
        {Json::object(), Json::array(), "", "plain", "quote \" back \\ slash /",
         "\b\f\n\r\t\x01\x1f\x7f", "路径/テクスチャ.exr", 0, -7, 1ull << 63, 1.0, 0.1, -0.0, 1e100,
         2.5e-8, true, false, nullptr,
         Json::object({{"a", Json::array({1, Json::object(), Json::array({Json::array()})})},
                       {"b\nkey", Json::object({{"c", "d"}})}})});
    for (const auto& v : samples) {
        EXPECT_EQ(written(v, Unencodable::Fail), library_dump(v, Unencodable::Fail)) << v.dump();
        Json wrapped = Json::object({{"k", v}, {"list", Json::array({v, v})}});
        EXPECT_EQ(written(wrapped, Unencodable::Drop), library_dump(wrapped, Unencodable::Drop));
    }
}

TEST(JsonWriter, TextThatIsNotUtf8IsDroppedOrFailsByThePolicy) {
    Json bad = Json::array({std::string("a\xff"
                                        "b\xc3"),
                            std::string("\xed\xa0\x80z")});
    EXPECT_EQ(written(bad, Unencodable::Drop), library_dump(bad, Unencodable::Drop));
    EXPECT_THROW(written(bad, Unencodable::Fail), Json::type_error);
}

TEST(JsonWriter, RandomRecordsMatchTheLibrary) {
    std::mt19937 rng(11);
    const char* alphabet[] = {"a", "Z", "0", " ", "\"", "\\", "\n", "\x02", "é", "路", "\x7f", "/"};
    auto text = [&] {
        std::string s;
        for (int i = static_cast<int>(rng() % 6); i > 0; --i) s += alphabet[rng() % 12];
        return s;
    };
    std::function<Json(int)> make = [&](int depth) -> Json {
        switch (depth > 3 ? rng() % 4 : rng() % 6) {
            case 0:
                return text();
            case 1:
                return static_cast<long long>(rng() % 2000) - 1000;
            case 2:
                return (rng() % 1000) / 7.0;
            case 3:
                return rng() % 2 == 0;
            case 4: {
                Json o = Json::object();
                for (int i = static_cast<int>(rng() % 4); i > 0; --i) o[text()] = make(depth + 1);
                return o;
            }
            default: {
                Json a = Json::array();
                for (int i = static_cast<int>(rng() % 4); i > 0; --i) a.push_back(make(depth + 1));
                return a;
            }
        }
    };
    for (int i = 0; i < 300; ++i) {
        Json v = make(0);
        ASSERT_EQ(written(v, Unencodable::Drop), library_dump(v, Unencodable::Drop)) << v.dump();
    }
}

TEST(AtomicFile, WholeOrNothing) {
    testing::TempDir dir;
    std::string path = dir.write("out.json", "old");
    {
        AtomicFileSink sink(path);
        sink.write("half");
        // Not committed: the old file stays and no temporary is left.
    }
    EXPECT_EQ(testing::read_text(path), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    AtomicFileSink sink(path);
    sink.write("new");
    sink.commit();
    EXPECT_EQ(testing::read_text(path), "new");
    EXPECT_THROW(AtomicFileSink(dir.file("missing/x.json")), FileError);
}

}  // namespace
}  // namespace scanflow

namespace scanflow {
namespace {

TEST(JsonFiles, ADocumentNestedBeyondTheBudgetIsRefusedBeforeItIsParsed) {
    testing::TempDir dir;
    auto nested = [](size_t depth) {
        return std::string(depth, '[') + "\"[{\\\"\"" + std::string(depth, ']');
    };
    EXPECT_EQ(json_nesting_depth(nested(7)), 7u);  // brackets in strings do not count
    EXPECT_EQ(json_nesting_depth(R"({"a": "]", "b": [[1], {"c": "x"}]})"), 3u);
    EXPECT_NO_THROW(read_json_file(dir.write("ok.json", nested(512))));
    try {
        read_json_file(dir.write("deep.json", nested(50000)));
        ADD_FAILURE() << "a document 50,000 deep was read";
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("nested deeper than 512 levels"), std::string::npos);
    }
}

TEST(JsonFiles, IntegersBeyondSixtyFourBitsAreWrittenBackAsTheyWere) {
    testing::TempDir dir;
    // Digits inside strings, the limits themselves and floating point stay the parser's.
    std::string text = R"({"big": 123456789012345678901234567890, "s": "99999999999999999999 \"q\"",
        "max": 18446744073709551615, "min": -9223372036854775808, "low": -9223372036854775809,
        "f": 1.5e300, "list": [18446744073709551616, 7]})";
    LargeIntegers large;
    Json doc = read_json_file(dir.write("task.json", text), &large);
    EXPECT_EQ(doc["max"].get<uint64_t>(), 18446744073709551615ull);
    EXPECT_EQ(doc["min"].get<int64_t>(), INT64_MIN);
    EXPECT_EQ(doc["s"], "99999999999999999999 \"q\"");
    doc["added"] = 1;
    std::string written = large.restore(dump_json(doc));
    for (const char* kept :
         {"\"big\": 123456789012345678901234567890,", "\"low\": -9223372036854775809,",
          "18446744073709551616,", "\"max\": 18446744073709551615,"})
        EXPECT_NE(written.find(kept), std::string::npos) << kept << " in\n" << written;
    EXPECT_EQ(written.find("large-integer"), std::string::npos);
    // A document that holds the stand-in's text itself gets another one.
    LargeIntegers other;
    Json tricky =
        Json::parse(other.hide(R"({"a": "large-integer-0", "b": 1e2, "c": 99999999999999999999})"));
    EXPECT_EQ(tricky["a"], "large-integer-0");
    EXPECT_EQ(other.restore(dump_json(tricky)).find("\"large-integer-0\",") != std::string::npos,
              true);
    EXPECT_NE(other.restore(dump_json(tricky)).find("\"c\": 99999999999999999999"),
              std::string::npos);
}

}  // namespace
}  // namespace scanflow
