ls -d "$PWD"/jobs/*/ >datasets.txt
mkdir -p logs
jobid=$(sbatch --parsable --array=1-"$(wc -l <datasets.txt)"%100 tarnfold-array.sbatch)
