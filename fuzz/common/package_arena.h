#pragma once
// The package decoder's memory for one fuzz input: every block it asks for
// is kept and freed after the input.
#include <cstdlib>
#include <vector>

struct Arena {
    std::vector<void*> blocks;
    ~Arena()
    {
        for (void* block : blocks)
            free(block);
    }
    static void* Allocate(void* context, size_t size)
    {
        void* block = calloc(1, size);
        if (block != nullptr)
            static_cast<Arena*>(context)->blocks.push_back(block);
        return block;
    }
};
