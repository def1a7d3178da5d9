// Eight workers query one face BSP at the same time, each with its own result list, and get
// exactly what one thread gets.
#include "geometry/bsp.h"
#include "geometry/mesh.h"
#include "geometry/vecmath.h"
#include "tests/geometry/bsp_test_util.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

namespace {

struct Query {
    float x, y, z, radius;
};

TEST(FaceBspThreads, EightWorkersAtOnceGetTheSameLists)
{
    std::mt19937 random(21);
    MeshObject *mesh = bsp_test_random_mesh(random, 500);
    FaceBsp bsp{};
    ASSERT_EQ(bsp_build_face_tree(&bsp, 8, mesh), 1);
    float matrix[16];
    mat4_translate(mat4_rotate_euler_deg(mat4_identity(matrix), 0, 30, 0), 1, 2, 3);

    std::uniform_real_distribution<float> u(-6, 6), r(0, 2.5f);
    std::vector<Query> queries(200);
    for (Query &q : queries) q = Query{u(random), u(random), u(random), r(random)};
    std::vector<std::vector<int32_t>> expected;
    for (const Query &q : queries) {
        const FaceBspResult *result = bsp_query_face_tree_sphere(&bsp, q.x, q.y, q.z, q.radius, 0, matrix);
        expected.emplace_back(result->faces, result->faces + result->count);
    }

    std::vector<int> mismatches(kFaceBspWorkers, 0);
    std::vector<std::thread> workers;
    for (int w = 0; w < kFaceBspWorkers; w++) {
        workers.emplace_back([&, w]() {
            for (int round = 0; round < 5; round++) {
                for (size_t i = 0; i < queries.size(); i++) {
                    const Query &q = queries[(i + size_t(w) * 25) % queries.size()];
                    const FaceBspResult *result = bsp_query_face_tree_sphere(&bsp, q.x, q.y, q.z, q.radius, w, matrix);
                    const std::vector<int32_t> &want = expected[(i + size_t(w) * 25) % queries.size()];
                    if (result != &bsp.results[w] ||
                        std::vector<int32_t>(result->faces, result->faces + result->count) != want)
                        mismatches[size_t(w)]++;
                }
            }
        });
    }
    for (std::thread &t : workers) t.join();
    for (int w = 0; w < kFaceBspWorkers; w++) EXPECT_EQ(mismatches[size_t(w)], 0) << "worker " << w;
    bsp_free_face_tree(&bsp);
    mesh_delete(mesh);
}

}  // namespace
