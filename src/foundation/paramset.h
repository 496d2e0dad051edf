// Numbered table of named variables and parameters read by the expression
// trees: entries 1, 2, 3 are the variables "x", "y", "z", further entries are
// parameters added by name. An entry may or may not hold a value.
#pragma once

#include <string>
#include <vector>

struct TParamSetNode {
    int index = 0;
    double value = 0.0;  // meaningful only when isSet
    std::string name;
    bool isSet = false;
};

class TParamSet {
public:
    // A set holding "x" (1), "y" (2), "z" (3), none with a value.
    TParamSet();

    // The entry of that index, or null. The pointer lives until the next NewNode or Add.
    TParamSetNode* Find(int index);
    const TParamSetNode* Find(int index) const;
    // Appends a new entry (empty name, value 0, not set).
    TParamSetNode& NewNode();
    // Appends an entry of that name and returns its index. Names may repeat.
    int Add(const std::string& name);

    void SetValue(int index, double value);
    void ClearValue(int index);
    // The value of the entry; raises when it holds none.
    double Value(int index) const;
    bool UseVal(int index) const;
    std::string Name(int index) const;

    int Count() const { return static_cast<int>(nodes_.size()); }

private:
    const TParamSetNode& Checked(int index, const char* where) const;

    std::vector<TParamSetNode> nodes_;  // nodes_[i] has index i + 1
};

// The parameter set shared by all expression trees.
extern TParamSet GlobalParams;
