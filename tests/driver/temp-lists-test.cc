// The lists of files to delete: each name once, newest first, a name taken
// off the always-delete list free to come back, alike below and beyond the
// length from which a list is looked up through an index.
#include "driver/specs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using names = std::vector<std::string>;

names contents(const temp_file_node *list)
{
  names result;
  for (; list; list = list->next)
    result.push_back(list->name);
  return result;
}

// What a list should hold after the same registrations.
void model_register(names *list, const std::string &name)
{
  if (std::find(list->begin(), list->end(), name) == list->end())
    list->insert(list->begin(), name);
}

void model_keep(names *list, const std::string &name)
{
  list->erase(std::remove(list->begin(), list->end(), name), list->end());
}

struct TempLists : testing::Test {
  void TearDown() override
  {
    release_temp_list(&temp_files.always_delete_list);
    release_temp_list(&temp_files.failure_delete_list);
  }
};

}  // namespace

TEST_F(TempLists, RegistrationsMatchTheModelPastTheIndexLength)
{
  names always, failure;
  // 97 names, each seen about four times in a scattered order, some asked
  // to be kept: the lists pass any index length while names still repeat.
  for (int i = 0; i < 400; i++) {
    std::string name = "dir/n" + std::to_string(i * 7 % 97) + ".o";
    bool delete_always = i % 3 != 0, delete_on_failure = i % 2 == 0;
    register_temp_file(name.c_str(), delete_always, delete_on_failure);
    if (delete_always)
      model_register(&always, name);
    if (delete_on_failure)
      model_register(&failure, name);
    if (i % 11 == 0) {
      keep_temp_file(name.c_str());
      model_keep(&always, name);
    }
  }
  EXPECT_EQ(contents(temp_files.always_delete_list), always);
  EXPECT_EQ(contents(temp_files.failure_delete_list), failure);
}

TEST_F(TempLists, AReleasedListStartsAgainEmpty)
{
  for (int round = 0; round < 2; round++) {
    for (int i = 0; i < 100; i++)
      register_temp_file(("n" + std::to_string(i)).c_str(), true, true);
    release_temp_list(&temp_files.always_delete_list);
    release_temp_list(&temp_files.failure_delete_list);
    register_temp_file("n5", true, true);
    EXPECT_EQ(contents(temp_files.always_delete_list), names{"n5"});
    EXPECT_EQ(contents(temp_files.failure_delete_list), names{"n5"});
  }
}
