// Entries of the inverse of a sparse symmetric positive definite matrix on
// the pattern of its LDL' factor, by Takahashi's recurrence. That pattern
// holds every diagonal entry and every pair of unknowns that share an
// observation, which is all the variances and covariances a network
// adjustment needs, at the cost of the factorization and without the dense
// inverse.
#pragma once

#include <Eigen/SparseCholesky>
#include <vector>

namespace vireo {

using SparseLdlt = Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>, Eigen::Lower>;

class SparseInverseSubset {
 public:
  // `ldlt` must hold a successful factorization.
  explicit SparseInverseSubset(const SparseLdlt& ldlt);
  // (N^-1)(i, j) for i == j or N(i, j) structurally non-zero.
  double operator()(int i, int j) const;

 private:
  double Permuted(int i, int j) const;  // indices of the factor

  Eigen::SparseMatrix<double> factor_;  // L, unit diagonal not stored
  std::vector<int> permutation_;        // original index -> factor index
  std::vector<double> diagonal_;
  std::vector<double> lower_;  // on the pattern of the factor's strict lower part
};

}  // namespace vireo
