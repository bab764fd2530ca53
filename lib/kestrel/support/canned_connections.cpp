#include <cstdint>
#include <kestrel/test_connections.hpp>
#include <stdexcept>
#include <utility>

namespace corvane::tallis::kestrel::test {

namespace {

const std::string end_of_table = "End Of Table";
const std::string end_of_view =
    "No more variables left in this MIB View (It is past the end of the MIB tree)";

// Both canned connections are their own identity: no two objects stand for the same agent.
unsigned int address_hash(const void* object) {
  return static_cast<unsigned int>(reinterpret_cast<std::uintptr_t>(object));
}

bool begins_with(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

response marker(const oid& o, const std::string& text) {
  return response(o, response::error_value{text});
}

// Replays its answers one list per run call, cyclically.
class connection_mock : public connection {
 public:
  connection_mock(std::vector<std::vector<response>> answers,
                  std::shared_ptr<unsigned> call_counter)
      : answers_(std::move(answers)), call_counter_(std::move(call_counter)) {}
  ~connection_mock() override = default;

  std::vector<response> run(const std::vector<oid_request>&, const execute_context&) override {
    if (call_counter_) ++*call_counter_;
    return answers_[next_answer_++ % answers_.size()];
  }

  unsigned int get_hash() override { return address_hash(this); }
  bool equals(const connection& other) override { return &other == this; }

 private:
  std::vector<std::vector<response>> answers_;
  unsigned next_answer_ = 0;
  std::shared_ptr<unsigned> call_counter_;
};

// Serves gets, walks and bulk requests from data in walk order, as an agent would.
class connection_walk_mock : public connection {
 public:
  explicit connection_walk_mock(std::vector<response> data) : data_(std::move(data)) {}
  ~connection_walk_mock() override = default;

  std::vector<response> run(const std::vector<oid_request>& requests,
                            const execute_context&) override {
    std::vector<response> result;
    for (const oid_request& q : requests) {
      switch (q.type()) {
        case query_t::get:
          get(q, result);
          break;
        case query_t::walk:
          walk(q, q.max_depth(), result);
          break;
        case query_t::bulk:
          walk(q, q.bulk_size(), result);
          break;
        default:
          break;
      }
    }
    return result;
  }

  unsigned int get_hash() override { return address_hash(this); }
  bool equals(const connection& other) override { return &other == this; }

 private:
  void get(const oid_request& q, std::vector<response>& result) const {
    for (const oid& o : q.oids()) {
      for (const response& r : data_) {
        if (r.name() == o.name()) result.push_back(r);
      }
    }
  }

  // Names are compared as plain text, so ".1" is taken to begin ".10" as well.
  void walk(const oid_request& q, long long limit, std::vector<response>& result) const {
    // Without a start OID there is nothing to walk from.
    if (q.oids().empty()) return;
    const oid& start = q.oids().front();
    const std::optional<oid>& subtree = q.only_children_of_oid();

    auto current = data_.begin();
    while (current != data_.end() && !begins_with(current->name(), start.name())) ++current;
    // Like GETNEXT, a walk returns what follows its start, not the start itself.
    if (current != data_.end() && current->name() == start.name()) ++current;

    for (; current != data_.end(); ++current) {
      if (limit == 0) return;
      if (subtree && !begins_with(current->name(), subtree->name())) {
        result.push_back(marker(current->oid(), end_of_table));
        return;
      }
      result.push_back(*current);
      --limit;
    }

    const oid last = data_.empty() ? start : data_.back().oid();
    if (result.empty()) {
      result.push_back(marker(last, end_of_view));
    } else if (subtree) {
      result.push_back(marker(last, end_of_table));
    }
  }

  std::vector<response> data_;
};

}  // namespace

std::function<std::unique_ptr<connection>(settings)> get_mock_connection_factory(
    const std::vector<std::vector<response>>& answers,
    const std::shared_ptr<unsigned>& call_counter) {
  if (answers.empty()) {
    throw std::invalid_argument(
        "get_mock_connection_factory: answers must hold at least one list of responses");
  }
  return [answers, call_counter](settings) -> std::unique_ptr<connection> {
    return std::make_unique<connection_mock>(answers, call_counter);
  };
}

std::function<std::unique_ptr<connection>(settings)> get_mock_connection_walk_factory(
    const std::vector<response>& data) {
  return [data](settings) -> std::unique_ptr<connection> {
    return std::make_unique<connection_walk_mock>(data);
  };
}

}  // namespace corvane::tallis::kestrel::test
