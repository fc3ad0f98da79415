#include "tests/testsupport/resultschema.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include <nlohmann/json.hpp>

#include "tests/testsupport/testfiles.h"

namespace orv::test {
namespace {

using Json = nlohmann::json;

// Keywords that only describe.
const char* const kAnnotations[] = {"$schema", "$id", "title", "description", "version"};

bool HasType(const Json& value_I, const std::string& type_I)
{
  const std::map<std::string, bool> types{{"integer", value_I.is_number_integer()}, {"number", value_I.is_number()},
                                          {"string", value_I.is_string()},          {"boolean", value_I.is_boolean()},
                                          {"null", value_I.is_null()},              {"array", value_I.is_array()},
                                          {"object", value_I.is_object()}};
  return types.contains(type_I) && types.at(type_I);
}

class CValidator {
 public:
  std::vector<std::string> mViolations;

  void Check(const Json& schema_I, const Json& value_I, const std::string& where_I)
  {
    for (const auto& [keyword, rule] : schema_I.items()) {
      if (std::find(std::begin(kAnnotations), std::end(kAnnotations), keyword) != std::end(kAnnotations)) continue;
      if (keyword == "type") CheckType(rule, value_I, where_I);
      else if (keyword == "enum") Expect(std::find(rule.begin(), rule.end(), value_I) != rule.end(), where_I, "not one of " + rule.dump());
      else if (keyword == "minimum") Expect(!value_I.is_number() || value_I >= rule, where_I, "below " + rule.dump());
      else if (keyword == "required") CheckRequired(rule, value_I, where_I);
      else if (keyword == "properties") CheckProperties(schema_I, value_I, where_I);
      else if (keyword == "items") CheckItems(rule, value_I, where_I);
      else if (keyword != "additionalProperties") Expect(false, where_I, "the schema's keyword " + keyword + " is not checked");
    }
  }

 private:
  void Expect(bool holds_I, const std::string& where_I, const std::string& what_I)
  {
    if (!holds_I) mViolations.push_back((where_I.empty() ? "/" : where_I) + ": " + what_I);
  }

  void CheckType(const Json& rule_I, const Json& value_I, const std::string& where_I)
  {
    const Json types = rule_I.is_array() ? rule_I : Json::array({rule_I});
    bool any = false;
    for (const Json& type : types) any = any || HasType(value_I, type.get<std::string>());
    Expect(any, where_I, value_I.dump() + " is not of type " + rule_I.dump());
  }

  void CheckRequired(const Json& rule_I, const Json& value_I, const std::string& where_I)
  {
    if (!value_I.is_object()) return;
    for (const Json& key : rule_I) Expect(value_I.contains(key.get<std::string>()), where_I, "lacks " + key.dump());
  }

  // Only "additionalProperties": false is used: every member must be one the schema names.
  void CheckProperties(const Json& schema_I, const Json& value_I, const std::string& where_I)
  {
    if (!value_I.is_object()) return;
    const Json& properties = schema_I["properties"];
    const bool closed = schema_I.value("additionalProperties", true) == false;
    for (const auto& [key, member] : value_I.items()) {
      if (properties.contains(key)) {
        Check(properties[key], member, where_I + "/" + key);
      } else {
        Expect(!closed, where_I, "has a member " + key + " the schema does not name");
      }
    }
  }

  void CheckItems(const Json& rule_I, const Json& value_I, const std::string& where_I)
  {
    if (!value_I.is_array()) return;
    for (size_t i = 0; i < value_I.size(); ++i) Check(rule_I, value_I[i], where_I + "/" + std::to_string(i));
  }
};

}  // namespace

std::vector<std::string> SchemaViolations(const std::string& schema_I, const std::string& document_I)
{
  const Json schema = Json::parse(schema_I, nullptr, false);
  const Json document = Json::parse(document_I, nullptr, false);
  if (schema.is_discarded()) return {"the schema is not JSON"};
  if (document.is_discarded()) return {"the document is not JSON"};
  CValidator validator;
  validator.Check(schema, document, "");
  return validator.mViolations;
}

std::string ResultSchema() { return ReadText(SourceDir() / "docs" / "result.schema.json"); }

void ExpectValidRunResult(const std::filesystem::path& file_I)
{
  const std::string document = ReadText(file_I);
  ASSERT_FALSE(document.empty()) << file_I.string() << " cannot be read";
  for (const std::string& violation : SchemaViolations(ResultSchema(), document)) {
    ADD_FAILURE() << file_I.string() << ": " << violation << "\n" << document;
  }
}

}  // namespace orv::test
