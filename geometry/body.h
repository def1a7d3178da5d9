// The rigid-body record embedded in every mesh object, and the collision shapes it owns: the box
// tree, the sphere tree and the point grid. The physics fills and reads them; the geometry core
// initialises and releases them. Natural alignment (nothing here is written to a file); the
// per-worker marks are separate bytes, so workers never share a byte.
#pragma once

#include <cstdint>

struct MeshObject;

// Shape codes of RigidBody::shape.
enum : int32_t {
    kShapeBox = 1,
    kShapeSphere = 2,
    kShapeTree = 3,
    kShapeSphereTree = 4,
    kShapeCylinder = 5,
    kShapeMesh = 6,
};

// A box of a body's shape tree, in body space. One node per allocation (new); a node owns its
// three links and physics_free_shape_tree releases them.
struct ShapeTreeNode {
    uint8_t type;  // 1 inner (two children), 2 leaf box, 3 solid box with one child, 4 bound with one child
    float centre[3];
    float axes[3][3];
    float half_sizes[3];
    float lower_offsets[3];  // minus the half sizes
    ShapeTreeNode *third;
    ShapeTreeNode *first;   // faces above the split
    ShapeTreeNode *second;  // faces below the split
};

struct SphereTreeNode {
    float centre[3];  // body space
    float radius;
    uint16_t children[3];  // 65535: none; read as signed 16 bits
    int8_t level;
};

// A body's sphere tree: the root is the last node. The record and the node array are allocated
// with malloc and released by mesh_free_body_shapes.
struct SphereTree {
    int32_t count;
    SphereTreeNode *nodes;
};

struct PointGridCell {
    float point[3];  // body space
    float radius;    // covers the cell's share of the box and every vertex assigned to the cell
    uint8_t in_use;
    uint8_t mark[8];  // one byte per physics worker
    float world_point[3];
};

// A coarse 4 x 4 x 4 partition of a body's mesh (mesh_build_cell_grid): extents nx, ny, nz of 1 to
// 4; cell (x, y, z) is cells[x + 4y + 16z], in use when x < nx, y < ny and z < nz.
struct PointGrid {
    int32_t nx, ny, nz;
    PointGridCell cells[64];
};

struct RigidBody {
    int32_t index;               // position in the world's body table
    int32_t joint_system_index;  // column group in its joint chain's system
    int32_t group_id;
    uint8_t grouped;          // left out of integration, support and wake searches
    uint8_t group_collision;  // grouped bodies of one group collide only when both have it
    uint8_t joint_owned;      // released with its joint
    uint8_t no_prediction;
    float position[3];  // world position of the centre
    float predicted_position[3];
    float saved_position[3];
    float velocity[3];
    float saved_velocity[3];
    float integrated_velocity[3];
    uint8_t asleep;
    float force[3];
    float angular_acceleration[3];
    float quaternion[4];  // w, x, y, z
    float integrated_quaternion[4];
    float saved_quaternion[4];
    float spin_damping;  // 0 after initialisation; nothing writes it
    float torque[3];
    // The contacts' impulses of a sub-step (linear, angular about the centre): left by the collide
    // job, which changes no velocity the other bodies' jobs read, and taken into the velocities by
    // the correction job.
    float contact_impulse[3];
    float contact_angular_impulse[3];
    float impulse[3];  // set by the caller for a stroke
    float impulse_point[3];
    float integrated_angular_velocity[3];
    float angular_velocity[3];
    float saved_angular_velocity[3];
    float spin_axis[3];
    float inertia[16];
    float inverse_inertia[16];
    float world_inverse_inertia[16];
    float world_inertia[16];
    float world_matrix[16];     // body to world: rotation then translation
    float rotation_matrix[16];  // the same rotation, no translation
    float displacement[3];
    float prediction_margin;
    float restitution;
    float friction;
    int32_t contact_flags;  // 2 after a body contact, 1 after a plane or static-mesh contact
    RigidBody *support;     // the body this one rests on
    float mass;
    float inverse_mass;
    int32_t shape;         // kShape*
    float box_axes[3][3];  // body space, used as stored
    float half_extents[3];
    float radius;  // bounding radius; a sphere's or cylinder's radius
    float cylinder_axis[3];
    float cylinder_height;
    ShapeTreeNode *shape_tree;   // owned
    SphereTree *sphere_tree;     // owned
    PointGrid *point_grid;       // owned
    MeshObject *collision_mesh;  // shape 6: the body's own mesh; not owned
    int32_t wake_timer;
    uint8_t woken;  // written by the body's own wake job
    uint8_t contacts;
    uint8_t fine_tree_test;
    uint8_t environment;  // tested against planes and static meshes
    uint8_t accumulate;
    uint8_t sphere_flag;  // shape 6: mass properties of a solid sphere
    int32_t fast;
};

// Body initialisation: every matrix identity, the three quaternions the identity rotation
// (1, 0, 0, 0), the environment byte 1, all else zero (no shapes).
void mesh_body_init(RigidBody *body);

// Releases the body's shape tree, sphere tree and point grid and empties those pointers.
void mesh_free_body_shapes(RigidBody *body);

// Releases the node's three links recursively, then the node (null does nothing).
void physics_free_shape_tree(ShapeTreeNode *node);
